#include "ProcessSetup.h"

#include <malloc.h>
#include <signal.h>

#include <algorithm>
#include <mutex>
#include <thread>

void PrepareProcessForConversions() {
    signal(SIGXFSZ, SIG_IGN);
    // Two pools a core keep threads from waiting on each other's allocations
    // while bounding what unused pools can hold.
    const int pools = 2 * static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    mallopt(M_ARENA_MAX, pools);
}

void ReturnFreedMemory() {
    // One thread at a time: the allocator sets itself up on the first call,
    // and where the program's memory comes from another allocator (under a
    // sanitizer) nothing has called it before, so two threads ending at
    // once would both set it up and one would trim a half-built pool.
    static std::mutex trimming;
    const std::lock_guard lock(trimming);
    malloc_trim(0);
}

#include "ProcessSetup.h"

#include <malloc.h>
#include <signal.h>

#include <algorithm>
#include <thread>

void PrepareProcessForConversions() {
    signal(SIGXFSZ, SIG_IGN);
    // Two pools a core keep threads from waiting on each other's allocations
    // while bounding what unused pools can hold.
    const int pools = 2 * static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    mallopt(M_ARENA_MAX, pools);
}

void ReturnFreedMemory() { malloc_trim(0); }

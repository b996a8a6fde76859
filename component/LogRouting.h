#pragma once
// Routing of the libraries' log lines to the components: one callback in
// libavutil filters the lines by level, prefixes them with the object that
// wrote them, joins the pieces written on one thread into whole lines and
// hands each line to every listening component.

#include <cstdarg>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TCustomFFmpegVCL;

// The unfinished line of every thread that has written one.
class TLogList {
public:
    struct TLogItem {
        std::thread::id thread_id;  // default id = free
        std::string pending;        // written since the thread's last line break
    };
    TLogItem& FindOrAdd(std::thread::id thread_id);
    void Clear();

private:
    std::vector<TLogItem> items_;
};

// The components that library log lines are delivered to, in the order they
// registered, and the line store; both guarded by one lock that is held for
// the whole of each library log call.
class ListenerList {
public:
    static void Add(TCustomFFmpegVCL* component);
    static void Remove(TCustomFFmpegVCL* component);
    static void ClearLogLines();
    // The lock itself, for the callback and for tests.
    static std::recursive_mutex& Lock();
    // True while the calling thread delivers library log lines.
    static bool HeldByThisThread();
};

// Installed in libavutil; the library's level is translated onto the
// engine's scale before it is filtered and delivered.
void LogCallback(void* object, int level, const char* format, va_list arguments);
void InstallLogCallback();

// Hands one whole line to a component, attributed to the task that runs on
// the writing thread.
void DeliverLogLine(TCustomFFmpegVCL* component, std::thread::id thread_id, int level, const std::string& line);

// The longest line the callback assembles, its terminator included.
constexpr size_t kLogLineBufferSize = 2048;

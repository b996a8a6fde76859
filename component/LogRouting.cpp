#include "LogRouting.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "LogLevels.h"
#include "VexmoConverter.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct TListeners {
    std::recursive_mutex lock;
    std::vector<TCustomFFmpegVCL*> components;
    TLogList lines;
};

// Lives to process end: library threads may log while statics are torn down.
TListeners& Listeners() {
    static TListeners* listeners = new TListeners;
    return *listeners;
}

thread_local int t_deliveringDepth = 0;

// Library lines that say nothing a person can act on, kept for the debug
// level: the MP4 muxer warns of every ".mp4" name although the iPod plays
// those files.
constexpr const char* kDebugOnlyLines[] = {"extension is not .m4a nor .m4v"};

int LevelOfLine(const char* format, int engineLevel) {
    for (const char* line : kDebugOnlyLines)
        if (format && std::strstr(format, line)) return std::max(engineLevel, 2);
    return engineLevel;
}

}  // namespace

TLogList::TLogItem& TLogList::FindOrAdd(std::thread::id thread_id) {
    for (TLogItem& item : items_)
        if (item.thread_id == thread_id) return item;
    for (TLogItem& item : items_)
        if (item.thread_id == std::thread::id()) {
            item.thread_id = thread_id;
            return item;
        }
    items_.push_back({thread_id, {}});
    return items_.back();
}

void TLogList::Clear() { items_.clear(); }

void ListenerList::Add(TCustomFFmpegVCL* component) {
    std::lock_guard guard(Listeners().lock);
    Listeners().components.push_back(component);
}

void ListenerList::Remove(TCustomFFmpegVCL* component) {
    std::lock_guard guard(Listeners().lock);
    auto& components = Listeners().components;
    components.erase(std::remove(components.begin(), components.end(), component), components.end());
}

void ListenerList::ClearLogLines() {
    std::lock_guard guard(Listeners().lock);
    Listeners().lines.Clear();
}

std::recursive_mutex& ListenerList::Lock() { return Listeners().lock; }

bool ListenerList::HeldByThisThread() { return t_deliveringDepth > 0; }

void LogCallback(void* object, int level, const char* format, va_list arguments) {
    const int engineLevel = LevelOfLine(format, EngineLevelFromLibrary(level));
    if (CachedLogLevel() < engineLevel) return;
    TListeners& listeners = Listeners();
    std::lock_guard guard(listeners.lock);
    struct Depth {
        Depth() { ++t_deliveringDepth; }
        ~Depth() { --t_deliveringDepth; }
    } depth;

    const AVClass* objectClass = object ? *static_cast<const AVClass* const*>(object) : nullptr;
    const std::thread::id threadId = std::this_thread::get_id();
    TLogList::TLogItem& item = listeners.lines.FindOrAdd(threadId);

    char buffer[kLogLineBufferSize] = {};
    int used = 0;
    if (objectClass && item.pending.empty()) {
        const char* name = objectClass->item_name ? objectClass->item_name(object) : objectClass->class_name;
        used = std::snprintf(buffer, sizeof buffer, "[%s @ %08" PRIXPTR "] ", name ? name : "",
                             reinterpret_cast<uintptr_t>(objectClass));
    } else if (!item.pending.empty()) {
        used = std::snprintf(buffer, sizeof buffer, "%s", item.pending.c_str());
    }
    used = std::clamp(used, 0, static_cast<int>(sizeof buffer) - 1);
    va_list copy;
    va_copy(copy, arguments);
    const int needed = std::vsnprintf(buffer + used, sizeof buffer - used, format, copy);
    va_end(copy);

    std::string text(buffer);
    // A line too long for the buffer ends where the buffer does; kept as
    // pending text it would swallow every later line of its thread.
    if (needed >= static_cast<int>(sizeof buffer) - used) text += '\n';
    size_t lineBreak;
    while ((lineBreak = text.find('\n')) != std::string::npos) {
        const std::string line = text.substr(0, lineBreak);
        text.erase(0, lineBreak + 1);
        for (TCustomFFmpegVCL* component : listeners.components)
            DeliverLogLine(component, threadId, engineLevel, line);
    }
    // The item may have moved while lines were delivered; find it again.
    listeners.lines.FindOrAdd(threadId).pending = text;
}

void InstallLogCallback() { ff::av_log_set_callback(LogCallback); }

void DeliverLogLine(TCustomFFmpegVCL* component, std::thread::id thread_id, int level, const std::string& line) {
    component->DeliverLibraryLine(thread_id, level, line);
}

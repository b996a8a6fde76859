#pragma once
// The conversion component's enumerations and the signatures of its events.
// Every event is raised on the thread that runs the task it concerns.

#include <cstdint>
#include <functional>
#include <string>

#include "HookBitmap.h"
#include "HookTypes.h"

// What the component lets through to OnLog; a level's ordinal minus one is
// the engine's level (-1 quiet, 0 error, 1 information, 2 debug, 3 all).
enum TLogLevel : int32_t { llQuiet, llError, llInfo, llDebug, llAll };

// Priorities of the worker threads, from idle up to normal.
enum TConvertPriority : int32_t { tpIdle, tpLowest, tpLower, tpNormal };

// The engine level of a TLogLevel, and the TLogLevel of an engine level.
constexpr int EngineLevelOf(TLogLevel level) { return static_cast<int>(level) - 1; }
constexpr TLogLevel LogLevelOfEngineLevel(int level) {
    if (level < 0) return llQuiet;
    if (level == 0) return llError;
    if (level == 1) return llInfo;
    if (level == 2) return llDebug;
    return llAll;
}

// AIndex: the task's index. AFrameNumber: frames encoded so far in the first
// video output, -1 without one. AFPS: frames per second since the task
// started (0 during its first second), -1 without video. ACurrentDuration:
// milliseconds of output written. AQuality: the video quantiser, -1 when
// copying or without video. ABitRate: kilobits per second of output so far.
// ACurrentSize: bytes written. ATotalOutputDuration: the task's duration in
// milliseconds, -1 when unknown.
using TProgressEvent = std::function<void(int32_t AIndex, int32_t AFrameNumber, int32_t AFPS,
                                          int32_t ACurrentDuration, float AQuality, float ABitRate,
                                          int64_t ACurrentSize, int32_t ATotalOutputDuration)>;

// AIndex: the task's index, -1 once every task of the run has terminated.
// AFinished: the task ran to its end (false when stopped or failed).
// AException: the task failed; AMessage is then its error.
using TTerminateEvent =
    std::function<void(int32_t AIndex, bool AFinished, bool AException, const std::string& AMessage)>;

// AIndex: the task whose thread wrote the line, -1 when none. AMsg: one line
// without its line break.
using TLogEvent = std::function<void(int32_t AIndex, TLogLevel ALogLevel, const std::string& AMsg)>;

// AIndex: the task's index. APTS: the picture's time in microseconds.
// AHookAction: the previous picture's answer on entry; haIgnore lets this
// picture pass without the frame hooks, haStop every picture from here on.
using TBeforeHookEvent = std::function<void(int32_t AIndex, int64_t APTS, THookAction& AHookAction)>;

// AIndex: the task's index. ABitmap: the picture, to change in place.
// AFrameNumber: pictures of the task that reached the hooks, 1 for the
// first. APTS: the picture's time in microseconds. AUpdate: true on entry;
// leave it true to have the bitmap copied back into the picture. AStopHook:
// false on entry; set it to receive no further pictures of the task.
using TCustomHookEvent = std::function<void(int32_t AIndex, THookBitmap& ABitmap, int32_t AFrameNumber,
                                            int64_t APTS, bool& AUpdate, bool& AStopHook)>;

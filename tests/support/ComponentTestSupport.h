#pragma once
// What the component tests share: bound libraries, a scratch folder per test,
// tasks built from the generated clips, and a recorder of events that can be
// awaited.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestFiles.h"
#include "VexmoConverter.h"

// Binds the system's libraries once for the whole test program.
void BindComponentTestLibraries();
std::string ClipPath(const std::string& fileName);

// The output options a quick conversion needs: small MPEG-4 video, AAC audio.
TOutputOptions QuickOutputOptions();
// Adds a task for the clip with the output in `outputPath`; its index. A
// task in real time reads its input at the clip's own pace (two seconds);
// `durationMs` limits the output's length when set.
int32_t AddQuickTask(TVexmoConverter& component, const std::string& clip, const std::string& outputPath,
                     bool realTime = false, int32_t durationMs = -1);

struct TerminateRecord {
    int32_t index;
    bool finished;
    bool exception;
    std::string message;
    std::thread::id thread;
};

// Collects events from any thread; tests wait for what they expect.
class EventRecorder {
public:
    // Takes the component's terminate and progress events.
    void Attach(TVexmoConverter& component);
    std::vector<TerminateRecord> Terminations();
    std::vector<std::pair<int32_t, std::chrono::steady_clock::time_point>> Progress();
    // Waits until task `index` has reported progress; false after `timeout`.
    bool WaitForProgress(int32_t index, std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Waits until the final termination (index -1) has arrived, running
    // `pump` meanwhile when given. False after `timeout`.
    bool WaitForEnd(std::chrono::milliseconds timeout = std::chrono::seconds(60),
                    const std::function<void()>& pump = nullptr);
    // Drops what was recorded so far.
    void Forget();
    // Called inside OnTerminate after the record is kept.
    std::function<void(const TerminateRecord&)> onTerminate;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TerminateRecord> terminations_;
    std::vector<std::pair<int32_t, std::chrono::steady_clock::time_point>> progress_;
};

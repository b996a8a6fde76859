#pragma once
// The conversion component: the one way a front end reaches the engine. A
// client describes each conversion as a task (an input and an output, each
// by an options record), the component checks it at once by opening the
// input and creating the output, and later runs the tasks in worker threads,
// reporting through its events. The component knows nothing of any window
// toolkit; a client that runs tasks unthreaded supplies the timer.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "AVProbe.h"
#include "ComponentEvents.h"
#include "ComponentLock.h"
#include "FFmpegTask.h"
#include "TaskOptions.h"

// Runs a callback on the client's own thread after a delay; used to start
// tasks that run without a thread of their own.
class TDelayedCallHost {
public:
    virtual ~TDelayedCallHost() = default;
    virtual void CallAfter(int milliseconds, std::function<void()> callback) = 0;
};

class TCustomFFmpegVCL {
public:
    TCustomFFmpegVCL();
    virtual ~TCustomFFmpegVCL();
    TCustomFFmpegVCL(const TCustomFFmpegVCL&) = delete;
    TCustomFFmpegVCL& operator=(const TCustomFFmpegVCL&) = delete;

    // Starts the listed tasks, `threadCount` at a time; 0 or less runs them
    // one at a time on the client's thread, each started by a 100 ms call of
    // the delayed-call host.
    void StartConvert(int32_t threadCount);
    // Drops the tasks still to start and asks every listed task to stop.
    void StopConvert();

    TAVProbe& Probe() { return probe_; }
    // How the task's last run ended; none before it has ended. For the
    // task's terminate event, or after WaitUntilTasksEnded.
    std::optional<TTaskEnd> TaskEnd(int32_t index);
    // Waits until every listed task has ended, as each soon does after
    // StopConvert; their terminate events may still be on their way.
    void WaitUntilTasksEnded();
    const std::string& LastErrorMessage() const { return last_error_message_; }
    size_t TaskCount();

    void SetDelayedCallHost(TDelayedCallHost* host) { delayed_call_host_ = host; }
    // Priority of the worker threads that StartConvert starts.
    std::atomic<TConvertPriority> ThreadPriority{tpNormal};

    // Event delivery, on the thread that runs the task. The hook events run
    // outside the component's lock, so that the pictures of tasks running
    // side by side are not made to wait for each other. Not virtual: task
    // threads call them while the component may be being destroyed, and a
    // virtual call would read what destruction rewrites.
    void DispatchBeforeHook(TFFmpeg* sender, THookAction& action, int64_t pts);
    void DispatchCustomHook(TFFmpeg* sender, THookBitmap& bitmap, int32_t frameNumber, int64_t pts, bool& update,
                            bool& stopHook);
    void DispatchLog(TFFmpeg* sender, int level, const std::string& text);
    void DispatchProgress(TFFmpeg* sender, const TCustomFFmpeg::TProgressValues& values);
    void DispatchTerminate(TFFmpeg* sender);
    // A whole library log line written on `thread_id`.
    void DeliverLibraryLine(std::thread::id thread_id, int level, const std::string& line);

    static constexpr const char* About = "Tovrela conversion component";

protected:
    // The rest of these run with the lock held.
    void StartNextTask();
    void StartTask(int32_t index);
    int32_t DecoderThreadsBesideOthers() const;
    // A running task's place was given up (it ended, or was dropped): start
    // the next task, or end the run once every listed task has ended.
    void ContinueRun(TComponentLock::Guard& guard);
    void FinishRun(TComponentLock::Guard& guard);
    // Detaches the tasks from this component and stops them. Once the lock
    // is let go, a client thread waits for their workers; the tasks are
    // freed once nothing runs them.
    void DropTasks(TComponentLock::Guard& guard, std::vector<TFFmpegPtr> tasks);

    TComponentLock component_lock_;
    TAVProbe probe_;
    TFFmpegList tasks_;
    std::string last_error_message_;
    // Set by the client, read by whichever thread starts a task.
    std::atomic<TLogLevel> log_level_{llInfo};
    std::atomic<int32_t> progress_interval_ms_{500};
    TDelayedCallHost* delayed_call_host_ = nullptr;
    // The hook events run without the component's lock; their handlers
    // have a small lock of their own.
    std::mutex hook_handlers_mutex_;
    TBeforeHookEvent on_before_hook_;
    TCustomHookEvent on_custom_hook_;
    TLogEvent on_log_;
    TProgressEvent on_progress_;
    TTerminateEvent on_terminate_;

    int32_t tasks_at_a_time_ = 0;
    int32_t next_index_ = 0;
    int32_t still_to_start_ = 0;
    int32_t terminated_count_ = 0;
    // From StartConvert with tasks until the final termination is reported.
    bool run_active_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::shared_ptr<TThreadCount> threads_ = std::make_shared<TThreadCount>();
};

class TVexmoConverter : public TCustomFFmpegVCL {
public:
    static constexpr const char* Version = "2.2";

    // Binds the libraries once per process and installs the log routing;
    // false with LastErrorMessage set when binding fails.
    bool LoadLibraries(const std::string& folder, bool versioned);
    // Frees this component's tasks, waits for every task thread of the
    // process to end, then releases the libraries.
    void UnloadLibraries();

    // The new task's index, or -1 with LastErrorMessage set.
    int32_t AddInputFile(const std::string& path);
    int32_t AddInputFile(const std::string& path, TInputOptions& options);
    // False with LastErrorMessage set; the task stays listed either way.
    bool AddOutputFile(int32_t index, const std::string& path);
    bool AddOutputFile(int32_t index, const std::string& path, TOutputOptions& options);
    void RemoveTask(int32_t index);
    void ClearTasks();

    void SetLogLevel(TLogLevel level);
    int32_t ProgressInterval() const { return progress_interval_ms_; }
    // Milliseconds; anything at or below 100 is stored as 100.
    void SetProgressInterval(int32_t milliseconds);
    void SetOnBeforeHook(TBeforeHookEvent handler);
    void SetOnCustomHook(TCustomHookEvent handler);
    void SetOnLog(TLogEvent handler);
    void SetOnProgress(TProgressEvent handler);
    void SetOnTerminate(TTerminateEvent handler);

private:
    int32_t AddInput(const std::string& path, TInputOptions* options);
    bool AddOutput(int32_t index, const std::string& path, TOutputOptions* options);
    void ApplyHookChoice(TFFmpeg& task, const TOutputOptions& options);
    void SetUpAgain(TFFmpeg& task, const std::string& inputPath, bool inputRecord, const std::string& outputPath,
                    bool outputRecord);
};

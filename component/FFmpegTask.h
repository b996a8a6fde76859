#pragma once
// One conversion task, the list that owns the tasks, and the threads that run
// them. A task is shared between its list and the thread running it, so that
// it is freed only once nothing runs it any more. A task dropped from its
// list is stopped; the worker finishes the output where it stands.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AVProbe.h"
#include "ComponentEvents.h"
#include "FFmpeg.h"
#include "TaskOptions.h"

class TCustomFFmpegVCL;
class TFFmpeg;
using TFFmpegPtr = std::shared_ptr<TFFmpeg>;

// Counts the task threads alive, so that the libraries (process-wide) and a
// component (for its own threads) can wait until none is left.
class TThreadCount {
public:
    void Enter();
    void Leave();
    void WaitUntilNone();
    // The count of the threads of every component together.
    static TThreadCount& Process();
    // True on a thread that runs a task or delivers a task's end.
    static bool OnTaskThread();

private:
    std::mutex mutex_;
    std::condition_variable none_left_;
    int count_ = 0;
};

// A thread created suspended that runs a function once resumed and then ends
// on its own, releasing whatever the function held.
class TTaskThread : public std::enable_shared_from_this<TTaskThread> {
public:
    // Creates the thread; it waits for Resume before doing anything.
    static std::shared_ptr<TTaskThread> CreateSuspended(std::function<void()> body, TConvertPriority priority,
                                                        std::vector<std::shared_ptr<TThreadCount>> counts);
    void Resume();
    bool Suspended() const { return !resumed_.load(); }
    std::thread::id ThreadId() const { return id_; }

private:
    TTaskThread() = default;
    std::mutex mutex_;
    std::condition_variable resume_;
    std::atomic<bool> resumed_{false};
    std::thread::id id_;
};

// Runs the task of one engine on its own thread, at the component's priority.
struct TFFmpegThread {
    static std::shared_ptr<TTaskThread> Create(const TFFmpegPtr& engine, TConvertPriority priority,
                                               std::shared_ptr<TThreadCount> componentThreads);
};
// Reports, on a short-lived idle-priority thread, the end of a task that was
// stopped before it ever started.
struct TDoTerminateThread {
    static void Run(const TFFmpegPtr& engine, std::shared_ptr<TThreadCount> componentThreads);
};

// How a task ended, as the component reports it: a failure carries the whole
// message and, apart from it, the system's reason when the system gave one
// ("No space left on device"), so that a front end can put it in its words.
struct TTaskResult {
    bool failed = false;
    std::string message;
    std::string reason;
    // The output file (its final name) when writing it failed, else empty.
    std::string unwritten_output;

    // The result of a task that ended with this error.
    static TTaskResult Failure(const std::exception& error);
};

// How a task's last run ended, as its client reads it once it has ended.
struct TTaskEnd {
    bool finished = false;  // ran to its end
    TTaskResult result;
    // The file its output was finished under, which may differ from the name
    // it was given when that name was taken meanwhile; empty when none.
    std::string written;
};

class TFFmpeg : public TCustomFFmpeg, public std::enable_shared_from_this<TFFmpeg> {
public:
    TFFmpeg();
    ~TFFmpeg() override;

    // Starts the task. Threaded: returns the worker thread, still suspended,
    // for the caller to resume. Not threaded: runs the whole task on the
    // calling thread and returns none. A task already started or ended is
    // not started again. Nothing here frees or logs through the libraries,
    // so a caller may hold its component's lock.
    std::shared_ptr<TTaskThread> Start(bool threaded, TConvertPriority priority,
                                       std::shared_ptr<TThreadCount> componentThreads = nullptr);
    // Does the whole task on the calling thread and ends it; a task without
    // input or output fails with its error.
    void Run();
    // Ends the task's life and reports it. Touches nothing of the task after
    // the report, which may free it.
    void DoTerminate();
    void RequestStop();
    // Stops a running task at its next loop check; a task never started ends
    // at once, reported from a terminate thread; an ended task is left alone.
    void Stop(std::shared_ptr<TThreadCount> componentThreads = nullptr);
    // For a task its list lets go of: one never started ends without a
    // report, a running one is asked to stop.
    void Abandon();
    // Waits until a running task has ended, unless the calling thread is the
    // one running it.
    void WaitUntilEnded();

    // A task waiting for its turn holds no open file and no decoder, so that
    // a list of any length fits the process's limits: once its set-up has
    // been checked it is released, keeping only the claim on its output
    // name, and `set_up` does it again when the task runs (raising the
    // engine's error when that fails then).
    void Park(std::function<void(TFFmpeg&)> set_up);
    bool Parked() const { return static_cast<bool>(set_up_); }

    bool Running() const { return state_.load() == TaskState::Running; }
    bool Terminated() const { return state_.load() == TaskState::Terminated; }

    using TTerminateHandler = void (*)(void* user_data, TFFmpeg* sender);
    TTerminateHandler terminate_handler = nullptr;
    void* terminate_user_data = nullptr;

    // Read without the component's lock by the hook events.
    std::atomic<int32_t> task_index{-1};
    // The thread that runs the task while it runs; guarded by the
    // component's lock.
    std::thread::id thread_id_key;
    // Guarded by the component's lock: the run has counted the task's end.
    bool termination_counted = false;
    TInputOptions input_options;
    bool input_record_given = false;
    TOutputOptions output_options;
    TAVProbe probe;
    // The component this task reports to; none once the component dropped it.
    std::atomic<TCustomFFmpegVCL*> owner{nullptr};

    TTaskResult result;

private:
    enum class TaskState { Pending, Running, EndingUnstarted, Terminated };
    // Ends a task that never ran, with its error; frees nothing.
    void FailUnstarted(const std::exception& error);

    std::atomic<TaskState> state_{TaskState::Pending};
    // Written by the starting thread, cleared by the worker, read by a stopper.
    std::mutex worker_mutex_;
    std::function<void(TFFmpeg&)> set_up_;
    std::vector<TOutputClaim> parked_claims_;
    std::weak_ptr<TTaskThread> worker_;
};

// The tasks of one component, in order; each task's index is its position.
class TFFmpegList {
public:
    size_t Count() const { return items_.size(); }
    // Raises std::out_of_range for an index outside the list.
    const TFFmpegPtr& Item(int32_t index) const;
    int32_t Add(TFFmpegPtr task);
    // Takes the task out of the list and renumbers the ones after it.
    TFFmpegPtr Delete(int32_t index);
    std::vector<TFFmpegPtr> Clear();
    // The running task whose thread this is, or none.
    TFFmpeg* FindByThreadId(std::thread::id thread_id) const;
    const std::vector<TFFmpegPtr>& Items() const { return items_; }

private:
    std::vector<TFFmpegPtr> items_;
};

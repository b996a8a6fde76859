#include "FFmpegTask.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "FFMpegException.h"
#include "ProcessSetup.h"

namespace {

thread_local bool t_onTaskThread = false;

// Sets the calling thread's priority relative to the process, whatever the
// thread that created it had: the idle scheduling class for "idle", a higher
// nice value than the process's for "lower" and "lowest". Never above normal.
void ApplyThreadPriority(TConvertPriority priority) {
    sched_param parameters{};
    if (priority == tpIdle) {
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &parameters);
        return;
    }
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &parameters);
    const int raise = priority == tpLowest ? 10 : priority == tpLower ? 5 : 0;
    errno = 0;
    const int processNice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), std::min(processNice + raise, 19));
}

}  // namespace

// ---- TThreadCount ----------------------------------------------------------

void TThreadCount::Enter() {
    std::lock_guard guard(mutex_);
    ++count_;
}

void TThreadCount::Leave() {
    std::lock_guard guard(mutex_);
    if (--count_ == 0) none_left_.notify_all();
}

void TThreadCount::WaitUntilNone() {
    std::unique_lock guard(mutex_);
    none_left_.wait(guard, [this] { return count_ == 0; });
}

TThreadCount& TThreadCount::Process() {
    static TThreadCount* count = new TThreadCount;  // outlives every thread
    return *count;
}

bool TThreadCount::OnTaskThread() { return t_onTaskThread; }

// ---- Threads -----------------------------------------------------------------

std::shared_ptr<TTaskThread> TTaskThread::CreateSuspended(std::function<void()> body, TConvertPriority priority,
                                                          std::vector<std::shared_ptr<TThreadCount>> counts) {
    std::shared_ptr<TTaskThread> self(new TTaskThread);
    auto leaveCounts = [](std::vector<std::shared_ptr<TThreadCount>>& entered) {
        for (const auto& count : entered) count->Leave();
        entered.clear();
        TThreadCount::Process().Leave();
    };
    TThreadCount::Process().Enter();
    for (const auto& count : counts) count->Enter();
    std::thread thread;
    try {
        thread = std::thread([self, body, priority, counts, leaveCounts]() mutable {
            t_onTaskThread = true;
            {
                std::unique_lock guard(self->mutex_);
                self->resume_.wait(guard, [&] { return self->resumed_.load(); });
            }
            self.reset();
            ApplyThreadPriority(priority);
            body();
            body = nullptr;  // may free the task, on this thread
            ReturnFreedMemory();
            leaveCounts(counts);
        });
    } catch (...) {
        // A thread that never existed must not keep anyone waiting for it.
        leaveCounts(counts);
        throw;
    }
    self->id_ = thread.get_id();
    thread.detach();
    return self;
}

void TTaskThread::Resume() {
    std::lock_guard guard(mutex_);
    resumed_ = true;
    resume_.notify_all();
}

std::shared_ptr<TTaskThread> TFFmpegThread::Create(const TFFmpegPtr& engine, TConvertPriority priority,
                                                   std::shared_ptr<TThreadCount> componentThreads) {
    std::vector<std::shared_ptr<TThreadCount>> counts;
    if (componentThreads) counts.push_back(std::move(componentThreads));
    return TTaskThread::CreateSuspended([engine] { engine->Run(); }, priority, std::move(counts));
}

void TDoTerminateThread::Run(const TFFmpegPtr& engine, std::shared_ptr<TThreadCount> componentThreads) {
    std::vector<std::shared_ptr<TThreadCount>> counts;
    if (componentThreads) counts.push_back(std::move(componentThreads));
    TTaskThread::CreateSuspended([engine] { engine->DoTerminate(); }, tpIdle, std::move(counts))->Resume();
}

TTaskResult TTaskResult::Failure(const std::exception& error) {
    const auto* engineError = dynamic_cast<const FFMpegException*>(&error);
    const auto* writeError = dynamic_cast<const FFMpegWriteError*>(&error);
    return {true, error.what(), engineError ? engineError->Reason() : std::string(),
            writeError ? writeError->File() : std::string()};
}

// ---- TFFmpeg -----------------------------------------------------------------

TFFmpeg::TFFmpeg() = default;

// Shared ownership means no worker runs this task any more.
TFFmpeg::~TFFmpeg() {
    probe.Close();
    CleanUp();
}

namespace {
// The task the calling thread is running, so that dropping it from inside its
// own events does not wait for itself.
thread_local const TFFmpeg* t_runningTask = nullptr;
}  // namespace

std::shared_ptr<TTaskThread> TFFmpeg::Start(bool threaded, TConvertPriority priority,
                                            std::shared_ptr<TThreadCount> componentThreads) {
    TaskState expected = TaskState::Pending;
    if (!state_.compare_exchange_strong(expected, TaskState::Running)) return nullptr;
    stop_requested = false;
    finished_normally = false;
    if (!threaded) {
        Run();
        return nullptr;
    }
    std::shared_ptr<TTaskThread> thread;
    try {
        thread = TFFmpegThread::Create(shared_from_this(), priority, std::move(componentThreads));
    } catch (const std::system_error& error) {
        FailUnstarted(FFMpegException("Cannot start a thread for the task", error.what()));
        return nullptr;
    }
    std::lock_guard guard(worker_mutex_);
    worker_ = thread;
    return thread;
}

void TFFmpeg::FailUnstarted(const std::exception& error) {
    Log(-1, error.what());
    result = TTaskResult::Failure(error);
    DoTerminate();
}

void TFFmpeg::Park(std::function<void(TFFmpeg&)> set_up) {
    for (int index = 0; index < output_count; ++index) parked_claims_.push_back(std::move(output_claims[index]));
    probe.Close();
    CleanUp();
    set_up_ = std::move(set_up);
}

void TFFmpeg::Run() {
    const TFFmpeg* outerTask = std::exchange(t_runningTask, this);
    finished_normally = false;
    try {
        if (set_up_) set_up_(*this);
        // A task without its input or output is refused by the run itself,
        // here rather than at the start, so that the clean-up of a refused
        // task, which logs through the libraries, runs on the task's own
        // thread and never under its component's lock.
        Transcode();
    } catch (const std::exception& error) {
        Log(-1, error.what());
        result = TTaskResult::Failure(error);
    }
    CloseOpenedCodecs();
    probe.Close();
    CleanUp();
    t_runningTask = outerTask;
    parked_claims_.clear();
    DoTerminate();
}

void TFFmpeg::DoTerminate() {
    {
        std::lock_guard guard(worker_mutex_);
        worker_.reset();
    }
    state_ = TaskState::Terminated;
    state_.notify_all();
    if (terminate_handler) terminate_handler(terminate_user_data, this);
}

void TFFmpeg::RequestStop() {
    stop_requested = true;
    std::shared_ptr<TTaskThread> worker;
    {
        std::lock_guard guard(worker_mutex_);
        worker = worker_.lock();
    }
    if (worker && worker->Suspended()) worker->Resume();
}

void TFFmpeg::Stop(std::shared_ptr<TThreadCount> componentThreads) {
    TaskState expected = TaskState::Pending;
    if (state_.compare_exchange_strong(expected, TaskState::EndingUnstarted)) {
        TDoTerminateThread::Run(shared_from_this(), std::move(componentThreads));
        return;
    }
    if (expected == TaskState::Running) RequestStop();
}

void TFFmpeg::Abandon() {
    TaskState expected = TaskState::Pending;
    if (state_.compare_exchange_strong(expected, TaskState::Terminated)) {
        state_.notify_all();
        return;
    }
    if (expected == TaskState::Running) RequestStop();
}

void TFFmpeg::WaitUntilEnded() {
    if (t_runningTask == this) return;
    for (TaskState state = state_.load(); state != TaskState::Terminated; state = state_.load()) state_.wait(state);
}

// ---- TFFmpegList -------------------------------------------------------------

const TFFmpegPtr& TFFmpegList::Item(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= items_.size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<size_t>(index)];
}

int32_t TFFmpegList::Add(TFFmpegPtr task) {
    task->task_index = static_cast<int32_t>(items_.size());
    items_.push_back(std::move(task));
    return items_.back()->task_index;
}

TFFmpegPtr TFFmpegList::Delete(int32_t index) {
    TFFmpegPtr task = Item(index);
    items_.erase(items_.begin() + index);
    for (size_t position = static_cast<size_t>(index); position < items_.size(); ++position)
        items_[position]->task_index = static_cast<int32_t>(position);
    return task;
}

std::vector<TFFmpegPtr> TFFmpegList::Clear() { return std::exchange(items_, {}); }

TFFmpeg* TFFmpegList::FindByThreadId(std::thread::id thread_id) const {
    // Ended tasks are skipped: the system hands an ended thread's id to a
    // later thread, which may run another task or none.
    for (const TFFmpegPtr& task : items_)
        if (task->thread_id_key == thread_id && task->Running()) return task.get();
    return nullptr;
}

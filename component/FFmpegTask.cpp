#include "FFmpegTask.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <utility>

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
    TThreadCount::Process().Enter();
    for (const auto& count : counts) count->Enter();
    std::thread thread([self, body = std::move(body), priority, counts = std::move(counts)]() mutable {
        t_onTaskThread = true;
        {
            std::unique_lock guard(self->mutex_);
            self->resume_.wait(guard, [&] { return self->resumed_.load(); });
        }
        self.reset();
        ApplyThreadPriority(priority);
        body();
        body = nullptr;  // may free the task, on this thread
        for (const auto& count : counts) count->Leave();
        counts.clear();
        TThreadCount::Process().Leave();
    });
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

// ---- TFFmpeg -----------------------------------------------------------------

TFFmpeg::TFFmpeg() = default;

// Shared ownership means no worker runs this task any more.
TFFmpeg::~TFFmpeg() {
    probe.Close();
    CleanUp();
}

std::shared_ptr<TTaskThread> TFFmpeg::Start(bool threaded, TConvertPriority priority,
                                            std::shared_ptr<TThreadCount> componentThreads) {
    TaskState expected = TaskState::Pending;
    if (!state_.compare_exchange_strong(expected, TaskState::Running)) return nullptr;
    if (output_count == 0) {
        Fail("Must supply at least one output file");
        return nullptr;
    }
    if (input_count == 0) {
        Fail("Must supply at least one input file");
        return nullptr;
    }
    stop_requested = false;
    finished_normally = false;
    if (!threaded) {
        Run();
        return nullptr;
    }
    std::shared_ptr<TTaskThread> thread = TFFmpegThread::Create(shared_from_this(), priority, std::move(componentThreads));
    worker_ = thread;
    return thread;
}

void TFFmpeg::Fail(const std::string& message) {
    probe.Close();
    CleanUp();
    Log(-1, message);
    exception_raised = true;
    error_message = message;
    DoTerminate();
}

void TFFmpeg::Run() {
    finished_normally = false;
    try {
        Transcode();
    } catch (const std::exception& error) {
        Log(-1, error.what());
        exception_raised = true;
        error_message = error.what();
    }
    CloseOpenedCodecs();
    probe.Close();
    CleanUp();
    DoTerminate();
}

void TFFmpeg::DoTerminate() {
    state_ = TaskState::Terminated;
    worker_.reset();
    if (terminate_handler) terminate_handler(terminate_user_data, this);
}

void TFFmpeg::RequestStop() {
    stop_requested = true;
    if (std::shared_ptr<TTaskThread> worker = worker_.lock(); worker && worker->Suspended()) worker->Resume();
}

void TFFmpeg::Stop(std::shared_ptr<TThreadCount> componentThreads) {
    TaskState expected = TaskState::Pending;
    if (state_.compare_exchange_strong(expected, TaskState::EndingUnstarted)) {
        TDoTerminateThread::Run(shared_from_this(), std::move(componentThreads));
        return;
    }
    if (expected == TaskState::Running) RequestStop();
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
    for (const TFFmpegPtr& task : items_)
        if (task->thread_id_key == thread_id) return task.get();
    return nullptr;
}

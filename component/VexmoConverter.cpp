#include "VexmoConverter.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "LogLevels.h"
#include "LogRouting.h"

namespace {

constexpr int kStartTimerMs = 100;

TFFmpeg* TaskOf(TCustomFFmpeg* engine) { return static_cast<TFFmpeg*>(engine); }

void LogToComponent(void* component, TCustomFFmpeg* sender, int level, const std::string& text) {
    static_cast<TCustomFFmpegVCL*>(component)->DispatchLog(TaskOf(sender), level, text);
}

void ProgressToComponent(void* component, TCustomFFmpeg* sender, const TCustomFFmpeg::TProgressValues& values) {
    static_cast<TCustomFFmpegVCL*>(component)->DispatchProgress(TaskOf(sender), values);
}

void BeforeHookToComponent(void* component, TCustomFFmpeg* sender, THookAction& action, int64_t pts) {
    static_cast<TCustomFFmpegVCL*>(component)->DispatchBeforeHook(TaskOf(sender), action, pts);
}

void CustomHookToComponent(void* component, TCustomFFmpeg* sender, THookBitmap& bitmap, int32_t frameNumber,
                           int64_t pts, bool& update, bool& stopHook) {
    static_cast<TCustomFFmpegVCL*>(component)->DispatchCustomHook(TaskOf(sender), bitmap, frameNumber, pts, update,
                                                                 stopHook);
}

void TerminateToComponent(void* component, TFFmpeg* sender) {
    static_cast<TCustomFFmpegVCL*>(component)->DispatchTerminate(sender);
}

// The libraries' level from the component's, read back as the library keeps it.
void ApplyLibraryLogLevel(TLogLevel level) {
    ff::av_log_set_level(LibraryLevelFromEngine(EngineLevelOf(level)));
    SetCachedLogLevel(EngineLevelFromLibrary(ff::av_log_get_level()));
}

}  // namespace

// ---- TCustomFFmpegVCL ----------------------------------------------------------

TCustomFFmpegVCL::TCustomFFmpegVCL() { ListenerList::Add(this); }

// Nothing of this component may be touched by a task thread once it is gone:
// its tasks are detached, and the threads still running them are waited for.
TCustomFFmpegVCL::~TCustomFFmpegVCL() {
    ListenerList::Remove(this);
    StopConvert();
    {
        TComponentLock::Guard guard(component_lock_);
        DropTasks(guard, tasks_.Clear());
    }
    alive_.reset();
    threads_->WaitUntilNone();
}

size_t TCustomFFmpegVCL::TaskCount() {
    TComponentLock::Guard guard(component_lock_);
    return tasks_.Count();
}

std::optional<TTaskEnd> TCustomFFmpegVCL::TaskEnd(int32_t index) {
    TComponentLock::Guard guard(component_lock_);
    if (index < 0 || static_cast<size_t>(index) >= tasks_.Count()) return std::nullopt;
    const TFFmpeg& task = *tasks_.Item(index);
    if (!task.Terminated()) return std::nullopt;
    return TTaskEnd{task.finished_normally, task.result,
                    task.written_outputs.empty() ? std::string() : task.written_outputs.front()};
}

void TCustomFFmpegVCL::WaitUntilTasksEnded() {
    std::vector<TFFmpegPtr> tasks;
    {
        TComponentLock::Guard guard(component_lock_);
        tasks = tasks_.Items();
    }
    for (const TFFmpegPtr& task : tasks) task->WaitUntilEnded();
}

void TCustomFFmpegVCL::DropTasks(TComponentLock::Guard& guard, std::vector<TFFmpegPtr> tasks) {
    for (const TFFmpegPtr& task : tasks) {
        task->owner = nullptr;
        task->Abandon();
    }
    // A task thread only asks: two tasks dropping each other from their
    // events would otherwise wait for each other, and a worker held up by
    // the log lines' lock would never end. Their workers finish on their own.
    const bool wait = !TThreadCount::OnTaskThread() && !ListenerList::HeldByThisThread();
    guard.AfterUnlock([tasks = std::move(tasks), wait]() mutable {
        if (wait)
            for (const TFFmpegPtr& task : tasks) task->WaitUntilEnded();
        tasks.clear();
    });
}

void TCustomFFmpegVCL::StartConvert(int32_t threadCount) {
    if (threadCount <= 0 && !delayed_call_host_)
        throw std::logic_error("Tasks without threads of their own need a delayed-call host");
    ListenerList::ClearLogLines();
    TComponentLock::Guard guard(component_lock_);
    next_index_ = 0;
    terminated_count_ = 0;
    tasks_at_a_time_ = threadCount;
    still_to_start_ = static_cast<int32_t>(tasks_.Count());
    run_active_ = still_to_start_ > 0;
    for (int32_t remaining = threadCount; still_to_start_ > 0;) {
        StartNextTask();
        if (--remaining <= 0) break;
    }
}

void TCustomFFmpegVCL::StartNextTask() {
    if (still_to_start_ <= 0) return;
    --still_to_start_;
    const int32_t index = next_index_++;
    if (tasks_at_a_time_ > 0) {
        StartTask(index);
        return;
    }
    // The task rather than its index: the list may change meanwhile.
    std::weak_ptr<TFFmpeg> pending = tasks_.Item(index);
    std::weak_ptr<bool> alive = alive_;
    delayed_call_host_->CallAfter(kStartTimerMs, [this, alive, pending] {
        if (alive.expired()) return;
        TFFmpegPtr task = pending.lock();
        if (!task) return;
        {
            TComponentLock::Guard guard(component_lock_);
            if (task->owner != this) return;
            task->progress_interval_us = static_cast<int64_t>(progress_interval_ms_) * 1000;
            task->SetVerbose(EngineLevelOf(log_level_));
            task->thread_id_key = std::this_thread::get_id();
        }
        // The whole task runs here, outside the lock, like the client's own work.
        task->Start(false, ThreadPriority);
    });
}

// Files converted side by side already keep the cores busy: a decoder's
// own threads would then only add the cost of handing pictures between
// them (about a quarter more CPU on short clips). Each task gets its share of
// the cores; a task alone lets the library use them all. A count the user
// chose stays as it is.
int32_t TCustomFFmpegVCL::DecoderThreadsBesideOthers() const {
    const int32_t running = next_index_ - terminated_count_;
    const int32_t sideBySide = std::max(1, std::min(tasks_at_a_time_, running + still_to_start_));
    if (sideBySide == 1) return 0;
    const int32_t cores = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, cores / sideBySide);
}

void TCustomFFmpegVCL::StartTask(int32_t index) {
    TFFmpegPtr task = tasks_.Item(index);
    if (task->decoder_threads == 0) task->decoder_threads = DecoderThreadsBesideOthers();
    task->progress_interval_us = static_cast<int64_t>(progress_interval_ms_) * 1000;
    task->SetVerbose(EngineLevelOf(log_level_));
    std::shared_ptr<TTaskThread> thread = task->Start(true, ThreadPriority, threads_);
    task->thread_id_key = thread ? thread->ThreadId() : std::thread::id();
    if (thread) thread->Resume();
}

void TCustomFFmpegVCL::ContinueRun(TComponentLock::Guard& guard) {
    if (still_to_start_ > 0)
        StartNextTask();
    else if (run_active_ && terminated_count_ >= static_cast<int32_t>(tasks_.Count()))
        FinishRun(guard);
}

void TCustomFFmpegVCL::FinishRun(TComponentLock::Guard& guard) {
    run_active_ = false;
    if (TTerminateEvent handler = on_terminate_) handler(-1, true, false, std::string());
    guard.AfterUnlock([] { ListenerList::ClearLogLines(); });
}

void TCustomFFmpegVCL::StopConvert() {
    TComponentLock::Guard guard(component_lock_);
    still_to_start_ = 0;
    for (const TFFmpegPtr& task : tasks_.Items()) task->Stop(threads_);
}

void TCustomFFmpegVCL::DispatchBeforeHook(TFFmpeg* sender, THookAction& action, int64_t pts) {
    if (!sender || sender->owner != this) return;
    TBeforeHookEvent handler;
    {
        std::lock_guard guard(hook_handlers_mutex_);
        handler = on_before_hook_;
    }
    if (handler) handler(sender->task_index, pts, action);
}

void TCustomFFmpegVCL::DispatchCustomHook(TFFmpeg* sender, THookBitmap& bitmap, int32_t frameNumber, int64_t pts,
                                          bool& update, bool& stopHook) {
    if (!sender || sender->owner != this) return;
    TCustomHookEvent handler;
    {
        std::lock_guard guard(hook_handlers_mutex_);
        handler = on_custom_hook_;
    }
    if (handler) handler(sender->task_index, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomFFmpegVCL::DispatchLog(TFFmpeg* sender, int level, const std::string& text) {
    TComponentLock::Guard guard(component_lock_);
    if (sender && sender->owner != this) return;
    if (TLogEvent handler = on_log_) handler(sender ? sender->task_index.load() : -1, LogLevelOfEngineLevel(level), text);
}

void TCustomFFmpegVCL::DispatchProgress(TFFmpeg* sender, const TCustomFFmpeg::TProgressValues& values) {
    TComponentLock::Guard guard(component_lock_);
    if (!sender || sender->owner != this) return;
    if (TProgressEvent handler = on_progress_)
        handler(sender->task_index, values.frame_number, values.fps, values.current_duration_ms, values.quality,
                values.bit_rate_kbits, values.current_size, values.total_duration_ms);
}

void TCustomFFmpegVCL::DispatchTerminate(TFFmpeg* sender) {
    TComponentLock::Guard guard(component_lock_);
    if (!sender) {
        FinishRun(guard);
        return;
    }
    if (sender->owner != this) return;
    // Its thread may soon run another task, or none.
    sender->thread_id_key = std::thread::id();
    if (TTerminateEvent handler = on_terminate_)
        handler(sender->task_index, sender->finished_normally, sender->result.failed, sender->result.message);
    // The handler may have dropped the task: its end is then no longer ours.
    if (sender->owner != this) return;
    sender->termination_counted = true;
    ++terminated_count_;
    ContinueRun(guard);
}

void TCustomFFmpegVCL::DeliverLibraryLine(std::thread::id thread_id, int level, const std::string& line) {
    TComponentLock::Guard guard(component_lock_);
    DispatchLog(tasks_.FindByThreadId(thread_id), level, line);
}

// ---- TVexmoConverter -----------------------------------------------------------

bool TVexmoConverter::LoadLibraries(const std::string& folder, bool versioned) {
    if (!BindLibraries(folder, versioned)) {
        last_error_message_ = BindErrorText();
        return false;
    }
    InstallLogCallback();
    ApplyLibraryLogLevel(log_level_);
    return true;
}

void TVexmoConverter::UnloadLibraries() {
    if (TThreadCount::OnTaskThread())
        throw std::logic_error("The libraries cannot be released from a task's own thread");
    ClearTasks();
    TThreadCount::Process().WaitUntilNone();
    UnbindLibraries();
}

int32_t TVexmoConverter::AddInputFile(const std::string& path) { return AddInput(path, nullptr); }

int32_t TVexmoConverter::AddInputFile(const std::string& path, TInputOptions& options) {
    return AddInput(path, &options);
}

bool TVexmoConverter::AddOutputFile(int32_t index, const std::string& path) { return AddOutput(index, path, nullptr); }

bool TVexmoConverter::AddOutputFile(int32_t index, const std::string& path, TOutputOptions& options) {
    return AddOutput(index, path, &options);
}

int32_t TVexmoConverter::AddInput(const std::string& path, TInputOptions* options) {
    auto task = std::make_shared<TFFmpeg>();
    task->owner = this;
    task->SetLogHandler(&LogToComponent, this);
    try {
        TAVProbe::CheckLibraries();
        task->Initialize();
        task->SetVerbose(EngineLevelOf(log_level_));
        if (options) {
            if (options->FileName.empty()) options->FileName = path;
            task->input_options = *options;
            task->input_record_given = true;
            ApplyInputOptions(*task, *options);
        }
        task->OpenInputFile(path);
    } catch (const std::runtime_error& error) {
        task->SetLogHandler(nullptr, nullptr);
        last_error_message_ = error.what();
        return -1;
    }
    task->probe.Attach(task->input_contexts[static_cast<size_t>(task->input_count - 1)].get());
    task->progress_handler = &ProgressToComponent;
    task->progress_user_data = this;
    task->terminate_handler = &TerminateToComponent;
    task->terminate_user_data = this;
    TComponentLock::Guard guard(component_lock_);
    return tasks_.Add(std::move(task));
}

bool TVexmoConverter::AddOutput(int32_t index, const std::string& path, TOutputOptions* options) {
    TFFmpegPtr task;
    {
        TComponentLock::Guard guard(component_lock_);
        task = tasks_.Item(index);
    }
    if (task->Parked()) {
        last_error_message_ = "The task already has its output file";
        return false;
    }
    try {
        if (options) {
            if (options->FileName.empty()) options->FileName = path;
            task->output_options = *options;
            ApplyOutputOptions(*task, *options);
            ApplyHookChoice(*task, *options);
        } else {
            ResetOutputOptions(task->output_options);
        }
        task->OpenOutputFile(path);
        // A frame-hook module is configured once per conversion and reports
        // when released: a task with one keeps its set-up until it runs.
        if (!task->frame_hooks.Empty()) return true;
        const bool inputRecord = task->input_record_given;
        const bool outputRecord = options != nullptr;
        const std::string inputPath = task->input_contexts[0]->url;
        task->Park([this, inputPath, inputRecord, path, outputRecord](TFFmpeg& parked) {
            SetUpAgain(parked, inputPath, inputRecord, path, outputRecord);
        });
        return true;
    } catch (const std::runtime_error& error) {
        last_error_message_ = error.what();
        return false;
    }
}

// The same steps as AddInputFile and AddOutputFile, on the thread that is
// about to run the task; the verbosity is the one the start gave the task.
void TVexmoConverter::SetUpAgain(TFFmpeg& task, const std::string& inputPath, bool inputRecord,
                                 const std::string& outputPath, bool outputRecord) {
    const int32_t verbosity = task.verbose;
    task.Initialize();
    task.SetVerbose(verbosity);
    if (inputRecord) ApplyInputOptions(task, task.input_options);
    task.OpenInputFile(inputPath);
    task.probe.Attach(task.input_contexts[static_cast<size_t>(task.input_count - 1)].get());
    if (outputRecord) {
        ApplyOutputOptions(task, task.output_options);
        ApplyHookChoice(task, task.output_options);
    }
    task.OpenOutputFile(outputPath);
}

// One hook decides per picture: the custom hook, else the before-hook, else
// the time ranges (which act only on frame hooks installed by "vhook").
void TVexmoConverter::ApplyHookChoice(TFFmpeg& task, const TOutputOptions& options) {
    if (options.UseCustomHook)
        task.SetCustomHook(&CustomHookToComponent, this);
    else if (options.UseBeforeHook)
        task.SetBeforeHook(&BeforeHookToComponent, this);
    else
        task.SetHookTimeRanges(ParseHookTimeRanges(options.HookTimeRanges));
}

// A removed task that held a running place gives it up at once, so that the
// run goes on with the next task and still ends.
void TVexmoConverter::RemoveTask(int32_t index) {
    TComponentLock::Guard guard(component_lock_);
    TFFmpegPtr task = tasks_.Delete(index);
    bool placeFreed = false;
    if (index < next_index_) {
        --next_index_;
        placeFreed = run_active_ && !task->termination_counted;
    } else if (still_to_start_ > 0) {
        --still_to_start_;
    }
    if (task->termination_counted) --terminated_count_;
    DropTasks(guard, {std::move(task)});
    if (placeFreed)
        ContinueRun(guard);
    else if (run_active_ && still_to_start_ == 0 && terminated_count_ >= static_cast<int32_t>(tasks_.Count()))
        FinishRun(guard);  // the removed task was the last one whose end was awaited
}

void TVexmoConverter::ClearTasks() {
    TComponentLock::Guard guard(component_lock_);
    DropTasks(guard, tasks_.Clear());
    last_error_message_.clear();
    tasks_at_a_time_ = 0;
    next_index_ = 0;
    still_to_start_ = 0;
    terminated_count_ = 0;
    run_active_ = false;
}

void TVexmoConverter::SetLogLevel(TLogLevel level) {
    log_level_ = level;
    if (LibrariesBound()) ApplyLibraryLogLevel(level);
}

void TVexmoConverter::SetProgressInterval(int32_t milliseconds) {
    progress_interval_ms_ = milliseconds <= 100 ? 100 : milliseconds;
}

void TVexmoConverter::SetOnBeforeHook(TBeforeHookEvent handler) {
    std::lock_guard guard(hook_handlers_mutex_);
    on_before_hook_ = std::move(handler);
}

void TVexmoConverter::SetOnCustomHook(TCustomHookEvent handler) {
    std::lock_guard guard(hook_handlers_mutex_);
    on_custom_hook_ = std::move(handler);
}

void TVexmoConverter::SetOnLog(TLogEvent handler) {
    TComponentLock::Guard guard(component_lock_);
    on_log_ = std::move(handler);
}

void TVexmoConverter::SetOnProgress(TProgressEvent handler) {
    TComponentLock::Guard guard(component_lock_);
    on_progress_ = std::move(handler);
}

void TVexmoConverter::SetOnTerminate(TTerminateEvent handler) {
    TComponentLock::Guard guard(component_lock_);
    on_terminate_ = std::move(handler);
}

#include "ConversionRun.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "IpodLimits.h"
#include "MediaFacts.h"
#include "VexmoConverter.h"

namespace {

// A file still being written, or cut short, ends well before the duration
// its header announces; a little less is only rounding and encoder delay.
bool InputEndedEarly(int64_t endedMs, int64_t announcedMs) {
    if (endedMs < 0 || announcedMs <= 0) return false;
    const int64_t missingMs = announcedMs - endedMs;
    return missingMs > 2000 && missingMs * 10 > announcedMs;
}

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TConversionRun::TConversionRun(TVexmoConverter& component, TRunView& view, TPoster post)
    : component_(component), view_(view), post_(std::move(post)) {
    component_.SetOnProgress([this](int32_t index, int32_t frame, int32_t fps, int32_t currentMs, float, float,
                                    int64_t, int32_t totalMs) {
        const uint64_t generation = generation_;
        post_([=, this] {
            if (generation == generation_) OnProgress(index, frame, fps, currentMs, totalMs);
        });
    });
    component_.SetOnTerminate([this](int32_t index, bool, bool, const std::string&) {
        const uint64_t generation = generation_;
        const std::optional<TTaskEnd> end = component_.TaskEnd(index);
        post_([=, this] {
            if (generation == generation_) OnTerminate(index, end);
        });
    });
}

TConversionRun::~TConversionRun() {
    delivery_.reset();
    ++delivery_serial_;
    component_.SetOnProgress(nullptr);
    component_.SetOnTerminate(nullptr);
    ++generation_;
}

bool TConversionRun::Start(const std::vector<std::string>& inputPaths, const TConversionSettings& settings,
                           int32_t tasksAtATime, std::unique_ptr<TFileDelivery> delivery) {
    if (running_) return true;
    if (inputPaths.empty()) {
        view_.ShowMessage(RunTexts::NothingToConvert());
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(settings.OutputFolder, ignored);

    rows_.assign(inputPaths.size(), Row{});
    failed_.clear();
    not_delivered_.clear();
    delivery_ = std::move(delivery);
    delivering_ = 0;
    tasks_ended_ = false;
    delivery_finishing_ = false;
    ended_by_itself_ = false;
    if (delivery_) {
        const uint64_t serial = ++delivery_serial_;
        delivery_->Begin([this, serial](const TDeliveryReport& report) {
            post_([this, serial, report] {
                if (serial == delivery_serial_) OnDelivery(report);
            });
        });
    }
    for (size_t row = 0; row < rows_.size(); ++row) {
        rows_[row].input_path = inputPaths[row];
        SetStatus(row, TRowOutcome::Pending, RunTexts::kStatusCleared);
    }
    running_ = true;
    stopping_ = false;
    view_.RunStateChanged(true);

    settings_ = settings;
    tasks_at_a_time_ = tasksAtATime;
    next_row_ = 0;
    written_claims_.clear();
    list_.Start(std::vector<int64_t>(rows_.size(), -1), NowSeconds());
    time_left_ = TSteadyTimeLeft();
    if (!StartBatch()) {
        End(false);
        return false;
    }
    return true;
}

bool TConversionRun::StartBatch() {
    // Once the list is rebuilt no event of an earlier batch or run can arrive any more.
    component_.ClearTasks();
    ++generation_;
    for (Row& row : rows_) row.task = -1;
    size_t tasks = 0;
    while (next_row_ < rows_.size() && tasks < kFilesPerBatch) {
        const size_t row = next_row_++;
        const TJob job = AddJob(component_, rows_[row].input_path, settings_);
        list_.FileDuration(row, job.DurationMs);
        rows_[row].announced_ms = job.AnnouncedMs;
        if (job.Refusal) {
            // A window shows the reason in the row and lists the file at the
            // end: a box here would hold the whole run until it is closed.
            if (view_.ListsFailuresAtEnd()) {
                EndRow(row, TRowOutcome::Refused, job.RefusalReason);
                failed_.push_back({rows_[row].input_path, job.RefusalReason});
            } else {
                EndRow(row, TRowOutcome::Refused, job.Refusal->text);
                view_.ShowMessage(*job.Refusal);
            }
            continue;
        }
        rows_[row].task = job.TaskIndex;
        rows_[row].output_path = job.OutputPath;
        if (!job.Notes.empty()) view_.ShowDecisions(row, job.Notes);
        ++tasks;
    }
    if (tasks == 0) return false;
    component_.ThreadPriority = tpNormal;
    component_.StartConvert(tasks_at_a_time_);
    return true;
}

void TConversionRun::StopFilesNotStarted() {
    for (; next_row_ < rows_.size(); ++next_row_) EndRow(next_row_, TRowOutcome::Stopped, RunTexts::kStatusStopped);
}

void TConversionRun::Stop() {
    if (!running_) return;
    if (delivery_ && !stopping_) delivery_->DeliverEachAtOnce();
    stopping_ = true;
    component_.StopConvert();
}

void TConversionRun::Abandon() {
    if (!running_ || tasks_ended_) return;
    if (delivery_ && !stopping_) delivery_->DeliverEachAtOnce();
    stopping_ = true;
    component_.StopConvert();
    component_.WaitUntilTasksEnded();
    // Each task's end is read here rather than from its event, which may
    // still be on its way: a row whose task finished or stopped names the
    // file it left, a row whose task never started names none.
    ++generation_;
    for (size_t row = 0; row < next_row_; ++row) {
        if ((rows_[row].outcome != TRowOutcome::Pending && rows_[row].outcome != TRowOutcome::Converting) ||
            rows_[row].delivering)
            continue;
        if (const std::optional<TTaskEnd> end = component_.TaskEnd(rows_[row].task)) {
            EndTask(row, *end);
        } else {
            rows_[row].output_path.clear();
            EndRow(row, TRowOutcome::Stopped, RunTexts::kStatusStopped);
        }
    }
    StopFilesNotStarted();
    component_.ClearTasks();
    if (!delivery_) {
        End(false);
        return;
    }
    tasks_ended_ = true;
    FinishDeliveryWhenDone();
}

void TConversionRun::WaitForDelivery() {
    if (!delivery_) return;
    // The delivery's destructor makes what it was handed lasting.
    delivery_.reset();
    ++delivery_serial_;
    running_ = false;
}

int64_t TConversionRun::RowOfTaskIndex(int32_t taskIndex) const {
    for (size_t row = 0; row < rows_.size(); ++row)
        if (taskIndex >= 0 && rows_[row].task == taskIndex) return static_cast<int64_t>(row);
    return -1;
}

TConversionRun::Row* TConversionRun::RowOfTask(int32_t index) {
    for (Row& row : rows_)
        if (row.task == index && index >= 0) return &row;
    return nullptr;
}

void TConversionRun::SetStatus(size_t row, TRowOutcome outcome, const std::string& status) {
    rows_[row].outcome = outcome;
    rows_[row].status = status;
    view_.SetRowStatus(row, outcome, status);
}

void TConversionRun::OnProgress(int32_t index, int32_t frame, int32_t fps, int32_t currentMs, int32_t totalMs) {
    if (!running_) return;
    Row* row = RowOfTask(index);
    if (!row) return;
    const size_t position = static_cast<size_t>(row - rows_.data());
    SetStatus(position, TRowOutcome::Converting, RunTexts::ProgressStatus(currentMs, totalMs));
    view_.ShowProgress(position, frame, fps, currentMs, totalMs);
    list_.FileProgress(position, currentMs, totalMs);
    const double now = NowSeconds();
    TListEstimate estimate = list_.Estimate(now);
    estimate.SecondsLeft = time_left_.Shown(estimate.SecondsLeft, now);
    view_.ShowListProgress(estimate);
}

void TConversionRun::OnTerminate(int32_t index, const std::optional<TTaskEnd>& end) {
    if (!running_) return;
    if (index < 0) {
        if (!stopping_ && StartBatch()) return;
        StopFilesNotStarted();
        ended_by_itself_ = true;
        if (!delivery_) {
            End(true);
            return;
        }
        tasks_ended_ = true;
        FinishDeliveryWhenDone();
        return;
    }
    Row* row = RowOfTask(index);
    if (row && end) EndTask(static_cast<size_t>(row - rows_.data()), *end);
}

void TConversionRun::EndTask(size_t row, const TTaskEnd& end) {
    rows_[row].output_path = end.written;
    // The task has let go of its name by now; the run keeps it, so that a
    // later file of the same name is not given it even when files may be
    // replaced.
    if (settings_.Overwrite && !end.written.empty()) written_claims_.emplace_back().Claim(end.written, this);
    if (end.finished && delivery_) {
        Deliver(row, CheckedCompletedStatus(row));
    } else if (end.finished) {
        EndRow(row, TRowOutcome::Completed, CheckedCompletedStatus(row));
    } else if (end.result.failed) {
        const std::string failure =
            RunTexts::RunFailure(end.result.message, end.result.unwritten_output, end.result.reason);
        EndRow(row, TRowOutcome::Failed, failure);
        if (view_.ListsFailuresAtEnd())
            failed_.push_back({rows_[row].input_path, failure});
        else
            view_.ShowMessage(RunTexts::TaskFailed(rows_[row].input_path, failure));
    } else {
        EndRow(row, TRowOutcome::Stopped, RunTexts::kStatusStopped);
    }
}

void TConversionRun::EndRow(size_t row, TRowOutcome outcome, const std::string& status) {
    SetStatus(row, outcome, status);
    list_.FileEnded(row);
}

std::string TConversionRun::CheckedCompletedStatus(size_t row) const {
    // The written file is read back: the settings alone do not say what the
    // encoders made of the input.
    TMediaFacts facts;
    std::string error;
    try {
        if (ReadMediaFacts(rows_[row].output_path, facts, error)) {
            std::vector<std::string> notes = DeviceLimitBreaks(DeviceAt(settings_.Device), facts);
            const int64_t endedMs = facts.DurationUs < 0 ? -1 : facts.DurationUs / 1000;
            if (InputEndedEarly(endedMs, rows_[row].announced_ms))
                notes.insert(notes.begin(), RunTexts::InputEndedEarly(endedMs, rows_[row].announced_ms));
            return CompletedStatus(notes);
        }
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    return std::string(RunTexts::kStatusCompleted) + " (not checked for " + DeviceAt(settings_.Device).PlayerName +
           ": " + error + ")";
}

void TConversionRun::Deliver(size_t row, const std::string& completedStatus) {
    Row& delivered = rows_[row];
    delivered.completed_status = completedStatus;
    delivered.delivering = true;
    ++delivering_;
    // The file is converted; only its delivery is left.
    list_.FileEnded(row);
    SetStatus(row, TRowOutcome::Converting, RunTexts::kStatusPuttingOnIpod);
    delivery_->Deliver(delivered.output_path, delivered.input_path);
}

void TConversionRun::OnDelivery(const TDeliveryReport& report) {
    if (report.Kind == TDeliveryReport::Finished) {
        End(ended_by_itself_);
        return;
    }
    for (size_t position = 0; position < rows_.size(); ++position) {
        Row& row = rows_[position];
        if (row.output_path != report.Path || row.output_path.empty()) continue;
        if (row.delivering) {
            row.delivering = false;
            --delivering_;
        }
        if (report.Kind == TDeliveryReport::Delivered || report.Kind == TDeliveryReport::AlreadyThere) {
            SetStatus(position, TRowOutcome::Completed,
                      report.Kind == TDeliveryReport::AlreadyThere ? RunTexts::kStatusAlreadyOnIpod
                                                                   : RunTexts::kStatusOnIpod);
        } else {
            row.not_delivered = true;
            SetStatus(position, TRowOutcome::Completed,
                      RunTexts::NotOnIpodStatus(row.completed_status, report.Message));
            if (view_.ListsFailuresAtEnd())
                not_delivered_.push_back({row.input_path, report.Message});
            else
                view_.ShowMessage(RunTexts::NotPutOnIpod(row.input_path, report.Message));
        }
        break;
    }
    FinishDeliveryWhenDone();
}

void TConversionRun::FinishDeliveryWhenDone() {
    if (!delivery_ || !tasks_ended_ || delivering_ > 0 || delivery_finishing_) return;
    delivery_finishing_ = true;
    delivery_->Finish();
}

void TConversionRun::End(bool byItself) {
    running_ = false;
    written_claims_.clear();
    StopFilesNotStarted();
    if (delivery_) {
        delivery_.reset();
        ++delivery_serial_;
    }
    component_.ClearTasks();
    ++generation_;
    view_.RunStateChanged(false);
    if (!byItself || stopping_) {
        if (!failed_.empty() || !not_delivered_.empty())
            view_.ShowRunEnd(RunTexts::WithFilesNotOnIpod(RunTexts::WithFailedFiles({}, failed_), not_delivered_));
        return;
    }
    int completed = 0;
    bool allDelivered = true;
    for (const Row& row : rows_) {
        completed += row.outcome == TRowOutcome::Completed ? 1 : 0;
        allDelivered = allDelivered && !row.not_delivered;
    }
    const int total = static_cast<int>(rows_.size());
    view_.RunFinished(completed == total && allDelivered);
    view_.ShowRunEnd(RunTexts::WithFilesNotOnIpod(
        RunTexts::WithFailedFiles(RunTexts::RunFinished(completed, total), failed_), not_delivered_));
}

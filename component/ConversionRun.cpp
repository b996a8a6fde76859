#include "ConversionRun.h"

#include <filesystem>
#include <system_error>

#include "VexmoConverter.h"

TConversionRun::TConversionRun(TVexmoConverter& component, TRunView& view, TPoster post)
    : component_(component), view_(view), post_(std::move(post)) {
    component_.SetOnProgress([this](int32_t index, int32_t frame, int32_t fps, int32_t currentMs, float, float,
                                    int64_t, int32_t totalMs) {
        const uint64_t generation = generation_;
        post_([=, this] {
            if (generation == generation_) OnProgress(index, frame, fps, currentMs, totalMs);
        });
    });
    component_.SetOnTerminate([this](int32_t index, bool finished, bool exception, const std::string& message) {
        const uint64_t generation = generation_;
        post_([=, this] {
            if (generation == generation_) OnTerminate(index, finished, exception, message);
        });
    });
}

TConversionRun::~TConversionRun() {
    component_.SetOnProgress(nullptr);
    component_.SetOnTerminate(nullptr);
    ++generation_;
}

bool TConversionRun::Start(const std::vector<std::string>& inputPaths, const TConversionSettings& settings,
                           int32_t tasksAtATime) {
    if (running_) return true;
    if (inputPaths.empty()) {
        view_.ShowMessage(RunTexts::NothingToConvert());
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(settings.OutputFolder, ignored);

    rows_.assign(inputPaths.size(), Row{});
    for (size_t row = 0; row < rows_.size(); ++row) SetStatus(row, TRowOutcome::Pending, RunTexts::kStatusCleared);
    // Once the list is rebuilt no event of an earlier run can arrive any more.
    component_.ClearTasks();
    ++generation_;
    running_ = true;
    stopping_ = false;
    view_.RunStateChanged(true);

    bool anyTask = false;
    for (size_t row = 0; row < rows_.size(); ++row) {
        const TJob job = AddJob(component_, inputPaths[row], settings);
        if (job.Refusal) {
            SetStatus(row, TRowOutcome::Refused, job.Refusal->text);
            view_.ShowMessage(*job.Refusal);
            continue;
        }
        rows_[row].task = job.TaskIndex;
        rows_[row].output_path = WithTrailingSlash(settings.OutputFolder) + job.OutputName + ".mp4";
        anyTask = true;
    }
    if (!anyTask) {
        End(false);
        return false;
    }
    component_.ThreadPriority = tpNormal;
    component_.StartConvert(tasksAtATime);
    return true;
}

void TConversionRun::Stop() {
    if (!running_) return;
    stopping_ = true;
    component_.StopConvert();
}

void TConversionRun::Abandon() {
    if (!running_) return;
    stopping_ = true;
    component_.StopConvert();
    component_.ClearTasks();
    ++generation_;
    for (size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row].outcome == TRowOutcome::Pending || rows_[row].outcome == TRowOutcome::Converting)
            SetStatus(row, TRowOutcome::Stopped, RunTexts::kStatusStopped);
    End(false);
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
}

void TConversionRun::OnTerminate(int32_t index, bool finished, bool exception, const std::string& message) {
    if (!running_) return;
    if (index < 0) {
        End(true);
        return;
    }
    Row* row = RowOfTask(index);
    if (!row) return;
    const size_t position = static_cast<size_t>(row - rows_.data());
    if (finished) {
        SetStatus(position, TRowOutcome::Completed, RunTexts::kStatusCompleted);
    } else if (exception) {
        SetStatus(position, TRowOutcome::Failed, message);
        view_.ShowMessage(RunTexts::TaskFailed(message));
    } else {
        SetStatus(position, TRowOutcome::Stopped, RunTexts::kStatusStopped);
    }
}

void TConversionRun::End(bool byItself) {
    running_ = false;
    component_.ClearTasks();
    ++generation_;
    view_.RunStateChanged(false);
    if (!byItself || stopping_) return;
    int completed = 0;
    for (const Row& row : rows_) completed += row.outcome == TRowOutcome::Completed ? 1 : 0;
    const int total = static_cast<int>(rows_.size());
    view_.RunFinished(completed == total);
    view_.ShowMessage(RunTexts::RunFinished(completed, total));
}

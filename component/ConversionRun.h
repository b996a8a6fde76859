#pragma once
// The conversion of a list of files: one task per file built with the
// shared job routine, statuses that follow each file's own task, and the end
// of the run once every task has reported. The component raises its events
// on task threads; the run hands them to the client's thread through the
// client's poster and is otherwise used on that thread only.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FFmpegTask.h"
#include "FileDelivery.h"
#include "JobBuilder.h"
#include "ListProgress.h"
#include "OutputClaims.h"
#include "RunTexts.h"

class TVexmoConverter;

enum class TRowOutcome { Pending, Converting, Completed, Stopped, Failed, Refused };

// What the client shows.
class TRunView {
public:
    virtual ~TRunView() = default;
    virtual void SetRowStatus(size_t row, TRowOutcome outcome, const std::string& status) = 0;
    // Progress of the file in `row`, with the component's values.
    virtual void ShowProgress(size_t row, int32_t frameNumber, int32_t fps, int32_t currentMs, int32_t totalMs) = 0;
    // Progress of the whole list, shown after each file's progress.
    virtual void ShowListProgress(const TListEstimate& estimate) { (void)estimate; }
    virtual void ShowMessage(const TUserMessage& message) = 0;
    // The message that ends a run; shown as any other unless the client
    // offers more with it.
    virtual void ShowRunEnd(const TUserMessage& message) { ShowMessage(message); }
    // What was decided for the file in `row` (its job's notes), once its
    // task is built and before it converts.
    virtual void ShowDecisions(size_t row, const std::vector<std::string>& notes) { (void)row, (void)notes; }
    virtual void RunStateChanged(bool running) = 0;
    // Called when the run ends by itself, before its finish message; every
    // file converted when `allCompleted` (the moment to shut down, if asked).
    virtual void RunFinished(bool allCompleted) { (void)allCompleted; }
    // True to have the failed files listed in one message when the run ends
    // (also when it is stopped) instead of one message as each fails.
    virtual bool ListsFailuresAtEnd() const { return false; }
};

class TConversionRun {
public:
    using TPoster = std::function<void(std::function<void()>)>;
    // Takes over the component's progress and terminate events; `post` runs
    // a function on the client's thread.
    TConversionRun(TVexmoConverter& component, TRunView& view, TPoster post);
    ~TConversionRun();
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // Builds the tasks of the files, a batch at a time (refused files get
    // their message and status as their turn comes), and starts them,
    // `tasksAtATime` at once (0: without threads).
    // With a delivery, each completed file is handed to it and its row
    // reads "Completed, on iPod" once it is delivered. False when the run
    // did not start or ended at once.
    bool Start(const std::vector<std::string>& inputPaths, const TConversionSettings& settings,
               int32_t tasksAtATime, std::unique_ptr<TFileDelivery> delivery = nullptr);
    // Stops the running and pending tasks; each reports its end and the run
    // ends once all have (and the delivery has made what it was handed
    // lasting, each file at once from now on).
    void Stop();
    // Stops every task and waits until each has ended: a file being
    // converted is finished where it stands and its row names what was
    // written; files not yet started read "Stopped". Without a delivery the
    // run is idle on return; with one it ends once the files already
    // completed are delivered.
    void Abandon();
    // For closing time: waits until the delivery has made what it was handed
    // lasting. Nothing more is shown and the run is idle on return.
    void WaitForDelivery();

    bool Running() const { return running_; }
    TRowOutcome Outcome(size_t row) const { return rows_.at(row).outcome; }
    const std::string& Status(size_t row) const { return rows_.at(row).status; }
    // The row's output file: the one planned while the row waits or
    // converts, the one its task actually wrote once it ended (the next free
    // name when the planned one was taken meanwhile); empty when the row was
    // refused or its task left no file.
    const std::string& OutputPath(size_t row) const { return rows_.at(row).output_path; }
    const std::string& InputPath(size_t row) const { return rows_.at(row).input_path; }
    size_t RowCount() const { return rows_.size(); }
    // True when the row's file was converted but the delivery failed.
    bool NotDelivered(size_t row) const { return rows_.at(row).not_delivered; }
    // The row whose task has the component's index `taskIndex`, -1 when none.
    int64_t RowOfTaskIndex(int32_t taskIndex) const;

private:
    struct Row {
        std::string input_path;
        int32_t task = -1;
        TRowOutcome outcome = TRowOutcome::Pending;
        std::string status;
        std::string output_path;
        int64_t announced_ms = -1;  // the input's duration by its header, -1 when unknown
        std::string completed_status;  // what the converted file's check found
        bool delivering = false;  // handed to the delivery, not yet reported on
        bool not_delivered = false;
    };
    void OnProgress(int32_t index, int32_t frame, int32_t fps, int32_t currentMs, int32_t totalMs);
    // Builds the tasks of the next files and starts them; false when none
    // of the files left could be converted.
    bool StartBatch();
    // The files whose turn never came read "Stopped".
    void StopFilesNotStarted();
    void OnTerminate(int32_t index, const std::optional<TTaskEnd>& end);
    // The row's status and output once its task has ended.
    void EndTask(size_t row, const TTaskEnd& end);
    void OnDelivery(const TDeliveryReport& report);
    // Hands the completed row's file to the delivery.
    void Deliver(size_t row, const std::string& completedStatus);
    // Asks the delivery to finish once every task has ended and every
    // handed file has been reported on.
    void FinishDeliveryWhenDone();
    void End(bool byItself);
    void SetStatus(size_t row, TRowOutcome outcome, const std::string& status);
    void EndRow(size_t row, TRowOutcome outcome, const std::string& status);
    // "Completed", with the device's limits the written file breaks.
    std::string CheckedCompletedStatus(size_t row) const;
    Row* RowOfTask(int32_t index);

    TVexmoConverter& component_;
    TRunView& view_;
    TPoster post_;
    std::vector<Row> rows_;
    std::vector<RunTexts::TFailedFile> failed_;
    std::vector<RunTexts::TFailedFile> not_delivered_;
    std::unique_ptr<TFileDelivery> delivery_;
    size_t delivering_ = 0;  // rows handed over and not yet reported on
    bool tasks_ended_ = false;
    bool delivery_finishing_ = false;
    bool ended_by_itself_ = false;
    // Reports of a delivery that is gone belong to no run.
    uint64_t delivery_serial_ = 0;
    // A long list is converted a batch of files at a time, so that the
    // memory a waiting task takes does not add up with the list's length.
    static constexpr size_t kFilesPerBatch = 64;
    TListProgress list_;
    TSteadyTimeLeft time_left_;
    TConversionSettings settings_;
    int32_t tasks_at_a_time_ = 0;
    size_t next_row_ = 0;  // the first file not yet given a task
    // The files this run wrote, kept from being given to a later file.
    std::vector<TOutputClaim> written_claims_;
    bool running_ = false;
    bool stopping_ = false;
    // Events posted before the task list was rebuilt belong to no run.
    std::atomic<uint64_t> generation_{0};
};

#pragma once
// Keeping folders of videos on an iPod: each video that is not there yet,
// or changed since it went on, is copied as it is when it already plays on
// the iPod's model, else converted the way "convert --to-ipod" converts it,
// and put on in a locked change of its own as soon as it is ready; a record
// on the iPod (see TSyncRecord) says which tracks came from which files, so
// that a second sync writes nothing. The plan, with the room it takes, is
// made before anything is written. The window and the command line both
// drive a sync through this class and show its progress themselves.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "SyncPlan.h"
#include "SyncRecord.h"

class TVexmoConverter;

struct TSyncRequest {
    std::vector<std::string> Folders;  // with their subfolders
    std::string Mount;
    TConversionSettings Settings;
    bool DeviceGiven = false;  // else the files are made for the iPod's model
    bool Delete = false;       // remove this program's tracks whose source in the folders is gone
    bool Fit = false;          // the highest profile at which the plan fits
    // Told when the iPod's lock is held by another program and the plan waits.
    std::function<void(const std::string&)> Notice;
    // Asked while the plan waits for the lock: true ends the wait.
    std::function<bool()> GivenUp;
};

struct TFolderSyncPlan {
    std::string Mount;
    TConversionSettings Settings;      // what the files are converted with
    std::vector<std::string> Changes;  // what the device plan changed, in words
    std::vector<TSyncItem> Items;
    std::vector<TSyncSource> Sources;  // each item's file as it was planned
    std::vector<TSyncRemoval> Removals;
    uint64_t FreeBytes = 0;  // for videos, with the room the database needs kept
    int Profile = -1;        // the profile --fit chose; -1 when none was chosen
    bool Fits() const { return SyncPlanFits(Items, Removals, FreeBytes); }
    // The plan in words: the profile --fit chose, then the counts, sizes,
    // time and room, the last line saying whether it fits.
    // `remedy` is what the person can do when it does not fit.
    std::vector<std::string> Lines(const std::string& remedy) const;
};

enum class TSyncPlanStatus { Planned, IpodRefused, SettingsRefused };
// Reads the folders, and the iPod's database and record afresh under its
// lock, and decides for every file. Needs bound libraries. Otherwise than
// Planned, `error` says why, naming the iPod or the setting.
TSyncPlanStatus PlanFolderSync(const TSyncRequest& request, TFolderSyncPlan& plan, std::string& error);

struct TSyncProgress {
    size_t FileNumber = 0;  // the file being copied or converted, from 1
    size_t FileCount = 0;   // of the files that go on
    uint64_t BytesDone = 0;
    uint64_t BytesTotal = 0;
    int64_t SecondsLeft = -1;  // -1 while not known
    std::string Name;
};
// "File 2 of 5 · 41.0 MB of 120.3 MB · about 3 min left · film.mkv"
std::string SyncProgressLine(const TSyncProgress& progress);

enum class TSyncResult { Added, Copied, Skipped, Removed, Failed, Stopped };
struct TSyncOutcome {
    TSyncResult Result = TSyncResult::Failed;
    std::string Path;    // the source file
    std::string Reason;  // of a failure
};
// One line for the outcome ("added    film.mkv").
std::string SyncOutcomeLine(const TSyncOutcome& outcome);
// "3 added, 1 copied as it was, 5 skipped, 1 removed, 1 failed, 0 stopped."
std::string SyncSummaryLine(const std::vector<TSyncOutcome>& outcomes);

class TSyncView {
public:
    virtual ~TSyncView() = default;
    virtual void ShowProgress(const TSyncProgress& progress) = 0;
    // What a person should know that is no failure (waiting for another
    // program, a poster left out).
    virtual void ShowNotice(const std::string& text) = 0;
    virtual void ItemEnded(const TSyncOutcome& outcome) = 0;
    // Every file has its outcome; nothing of the sync is left on this computer.
    virtual void SyncEnded() = 0;
};

class TFolderSync : private TRunView {
public:
    // `post` runs a function on the client's thread, as for TConversionRun;
    // the sync is used on that thread only.
    TFolderSync(TVexmoConverter& component, TSyncView& view, TConversionRun::TPoster post);
    ~TFolderSync() override;
    TFolderSync(const TFolderSync&) = delete;
    TFolderSync& operator=(const TFolderSync&) = delete;

    // Removes the tracks the plan removes (one locked change), then copies
    // or converts the files one after another, each put on as soon as it is
    // ready. The client keeps its loop running while Running().
    void Start(const TFolderSyncPlan& plan);
    // What is on the iPod stays; the file being converted is not put on,
    // and the others are not started.
    void Stop();
    bool Running() const { return running_; }
    const std::vector<TSyncOutcome>& Outcomes() const { return outcomes_; }

private:
    void SetRowStatus(size_t, TRowOutcome, const std::string&) override {}
    void ShowProgress(size_t row, int32_t frame, int32_t fps, int32_t currentMs, int32_t totalMs) override;
    void ShowMessage(const TUserMessage&) override {}
    void RunStateChanged(bool running) override;
    void RemoveGone();
    void Next();
    void FinishItem();
    void End(TSyncResult outcome, const std::string& path, const std::string& reason = {});
    void Notice(const std::string& text);
    // Runs `work` on the client's thread while the sync exists.
    void Post(std::function<void()> work);

    TVexmoConverter& component_;
    TSyncView& view_;
    TConversionRun::TPoster post_;
    TFolderSyncPlan plan_;
    std::vector<TSyncOutcome> outcomes_;
    std::string staging_;  // where files are converted before they go on
    // Runs are kept until the sync goes: events they posted may still come.
    std::vector<std::unique_ptr<TConversionRun>> runs_;
    size_t next_ = 0;  // the item being copied or converted
    size_t fileNumber_ = 0;
    size_t fileCount_ = 0;
    uint64_t bytesBefore_ = 0;  // of the items done
    uint64_t bytesTotal_ = 0;
    // The plan's estimated seconds, which weigh each file for the time left:
    // a copy's bytes go on far faster than a conversion's.
    double secondsBefore_ = 0;
    double secondsTotal_ = 0;
    std::chrono::steady_clock::time_point started_;
    bool finishPosted_ = false;
    bool running_ = false;
    bool stopping_ = false;
    // A backup of the database is taken before the first change of a sync.
    std::shared_ptr<std::atomic<bool>> backedUp_ = std::make_shared<std::atomic<bool>>(false);
    // What was posted finds the sync gone when this is.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

#include "FolderSync.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "IpodDelivery.h"
#include "IpodFinder.h"
#include "IpodLibrary.h"
#include "IpodLimits.h"
#include "JobBuilder.h"
#include "ListProgress.h"
#include "OutputProfiles.h"

namespace {

namespace fs = std::filesystem;

std::string NameOf(const std::string& path) { return fs::path(path).filename().string(); }

std::set<uint64_t> OurIds(const std::vector<TIpodListedVideo>& videos) {
    std::set<uint64_t> ids;
    for (const TIpodListedVideo& video : videos)
        if (video.Ours) ids.insert(video.Id);
    return ids;
}

bool Under(const std::string& path, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        if (path.starts_with(folder)) return true;
    return false;
}

// Where files are converted before they go on: the user's cache, which
// holds a film more often than a temporary folder kept in memory.
std::string MakeStagingFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::error_code error;
    fs::path base = cache && *cache ? fs::path(cache) : home && *home ? fs::path(home) / ".cache" : fs::path();
    if (!base.empty()) fs::create_directories(base / "tovrela", error);
    base = base.empty() || error ? fs::temp_directory_path(error) : base / "tovrela";
    std::string pattern = (base / "sync-XXXXXX").string();
    return ::mkdtemp(pattern.data()) ? pattern : (fs::temp_directory_path(error) / "tovrela-sync").string();
}

// Puts one converted or copied file on the iPod in a change of its own: the
// track of the file's earlier version goes, the new one is listed and the
// record says where it came from before the database is written.
TSendOutcome PlaceSynced(const std::string& mount, const TSyncItem& item, const TSyncSource& source,
                         const std::string& staged, std::atomic<bool>& backedUp, const TIpodLibrary::TNotice& notice,
                         std::string& error) {
    TIpodVideo video;
    if (!ReadIpodVideo(staged, video, error)) return TSendOutcome::NotSent;
    std::error_code sizeError;
    const uintmax_t size = fs::file_size(staged, sizeError);
    TIpodLibrary library;
    if (!library.Open(mount, notice, error)) return TSendOutcome::NotSent;
    bool madeRoom = false;
    if (item.ReplacesId && OurIds(library.Videos()).count(item.ReplacesId)) {
        library.Remove(item.ReplacesId);
        // On a nearly full iPod the new file fits only once the old one is
        // gone: the old track and its file go first, in a write of their
        // own under the same lock, so that no moment has a database listing
        // a file that is not there.
        if (!sizeError && !library.HasRoomFor(size)) {
            if (!library.Commit(!backedUp, error)) return TSendOutcome::NotSent;
            backedUp = true;
            madeRoom = true;
        }
    }
    // The library takes the copied file off again when the record or the
    // database cannot be written.
    if (library.Add(video, true, error) != TIpodLibrary::TAdded::Added ||
        RecordAddedTrack(library, source, error) != TRecorded::Recorded ||
        !library.Commit(!backedUp, error)) {
        if (madeRoom) error += " (its earlier version was taken off the iPod to make room for it)";
        return TSendOutcome::NotSent;
    }
    backedUp = true;
    std::error_code ignored;
    fs::remove(staged, ignored);
    return TSendOutcome::OnIpod;
}

}  // namespace

std::vector<std::string> TFolderSyncPlan::Lines(const std::string& remedy) const {
    std::vector<std::string> lines;
    if (Profile >= 0)
        lines.push_back(Fits() ? "Profile " + std::to_string(Profile) + " is the highest at which the plan fits."
                               : "The plan does not fit even at the lowest profile, " + std::to_string(Profile) + ".");
    for (std::string& line : SyncPlanLines(Items, Removals, FreeBytes, remedy)) lines.push_back(std::move(line));
    return lines;
}

TSyncPlanStatus PlanFolderSync(const TSyncRequest& request, TFolderSyncPlan& plan, std::string& error) {
    plan = TFolderSyncPlan{};
    plan.Mount = request.Mount;
    const TIpod ipod = DescribeIpod(request.Mount);
    if (ipod.Support != TIpodSupport::Supported) {
        error = IpodLine(ipod);
        return TSyncPlanStatus::IpodRefused;
    }
    TConversionSettings settings = request.Settings;
    if (!request.DeviceGiven) settings.Device = ipod.Device;
    settings.Model = ipod.VideoLimit;
    TDevicePlan devicePlan = PlanForDevice(settings);
    if (!devicePlan.Refusal.empty()) {
        error = devicePlan.Refusal;
        return TSyncPlanStatus::SettingsRefused;
    }
    std::error_code spaceError;
    const fs::space_info space = fs::space(request.Mount, spaceError);
    if (spaceError) {
        error = request.Mount + ": its free space cannot be read: " + spaceError.message();
        return TSyncPlanStatus::IpodRefused;
    }
    // Writing the database needs room of its own; the videos get the rest.
    const uintmax_t room = IpodDatabaseRoom(request.Mount);
    plan.FreeBytes = space.available > room ? space.available - room : 0;

    // What is there is read under the lock, as a change would read it.
    std::vector<TIpodListedVideo> videos;
    TSyncRecord record;
    {
        TIpodLibrary library;
        if (!library.Open(request.Mount, request.Notice, error, request.GivenUp)) return TSyncPlanStatus::IpodRefused;
        videos = library.Videos();
        if (!record.Read(request.Mount, OurIds(videos), error)) return TSyncPlanStatus::IpodRefused;
    }
    std::map<uint64_t, const TIpodListedVideo*> byId;
    for (const TIpodListedVideo& video : videos) byId[video.Id] = &video;

    for (const std::string& file : ExpandInputs(request.Folders, true)) {
        TSyncSource source;
        if (!SyncSourceOf(file, source)) source.Path = file;
        const TSyncEntry* entry = record.Find(source.Path);
        TSyncItem item;
        if (entry && entry->Source == source) {
            item.Path = file;
            item.Action = TSyncAction::Skip;
        } else {
            item = PlanSyncItem(file, devicePlan.Settings);
            if (entry) {
                item.ReplacesId = entry->Id;
                item.ReplacedBytes = byId.at(entry->Id)->Size;
            }
        }
        plan.Items.push_back(std::move(item));
        plan.Sources.push_back(std::move(source));
    }
    if (request.Delete) {
        std::vector<std::string> folders;
        for (const std::string& folder : request.Folders) {
            std::error_code ignored;
            folders.push_back(fs::weakly_canonical(fs::absolute(folder, ignored), ignored).string() + "/");
        }
        std::set<uint64_t> listed;
        for (const TSyncEntry& entry : record.Entries()) {
            std::error_code missing;
            if (!Under(entry.Source.Path, folders) || fs::exists(entry.Source.Path, missing) || missing ||
                !listed.insert(entry.Id).second)
                continue;
            const TIpodListedVideo& video = *byId.at(entry.Id);
            plan.Removals.push_back({entry.Id, entry.Source.Path, video.Title, video.Size});
        }
    }
    if (request.Fit) {
        // From the highest profile down, the first at which everything fits;
        // the lowest when none does.
        const auto profiles = OutputProfiles();
        for (size_t index = profiles.size(); index-- > 0;) {
            TConversionSettings tried = settings;
            ApplyProfile(tried, profiles[index]);
            const TDevicePlan triedPlan = PlanForDevice(tried);
            if (!triedPlan.Refusal.empty()) continue;
            devicePlan = triedPlan;
            plan.Profile = static_cast<int>(index);
            for (TSyncItem& item : plan.Items) EstimateAgain(item, devicePlan.Settings);
            if (plan.Fits()) break;
        }
    }
    plan.Settings = devicePlan.Settings;
    plan.Changes = devicePlan.Changes;
    return TSyncPlanStatus::Planned;
}

std::string SyncProgressLine(const TSyncProgress& progress) {
    std::string line = "File " + std::to_string(progress.FileNumber) + " of " + std::to_string(progress.FileCount) +
                       " \u00b7 " + SyncSizeText(progress.BytesDone) + " of " + SyncSizeText(progress.BytesTotal);
    if (progress.SecondsLeft >= 0)
        line += " \u00b7 " + TimeWords(progress.SecondsLeft) + " left";
    return line + " \u00b7 " + progress.Name;
}

std::string SyncOutcomeLine(const TSyncOutcome& outcome) {
    const std::string name = NameOf(outcome.Path);
    switch (outcome.Result) {
        case TSyncResult::Added: return "added    " + name;
        case TSyncResult::Copied: return "copied   " + name + " (as it was)";
        case TSyncResult::Skipped: return "skipped  " + name + " (already on the iPod)";
        case TSyncResult::Removed: return "removed  " + outcome.Reason;
        case TSyncResult::Stopped: return "stopped  " + name + " (not put on the iPod)";
        case TSyncResult::Failed: break;
    }
    return "failed   " + name + ": " + outcome.Reason;
}

std::string SyncSummaryLine(const std::vector<TSyncOutcome>& outcomes) {
    size_t counts[6] = {};
    for (const TSyncOutcome& outcome : outcomes) ++counts[static_cast<size_t>(outcome.Result)];
    const auto count = [&](TSyncResult result) { return std::to_string(counts[static_cast<size_t>(result)]); };
    return count(TSyncResult::Added) + " added, " + count(TSyncResult::Copied) + " copied as they were, " +
           count(TSyncResult::Skipped) + " skipped, " + count(TSyncResult::Removed) + " removed, " +
           count(TSyncResult::Failed) + " failed, " + count(TSyncResult::Stopped) + " stopped.";
}

TFolderSync::TFolderSync(TVexmoConverter& component, TSyncView& view, TConversionRun::TPoster post)
    : component_(component), view_(view), post_(std::move(post)) {}

TFolderSync::~TFolderSync() {
    runs_.clear();
    std::error_code ignored;
    if (!staging_.empty()) fs::remove_all(staging_, ignored);
}

void TFolderSync::Post(std::function<void()> work) {
    post_([alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
        if (alive.lock()) work();
    });
}

void TFolderSync::Notice(const std::string& text) {
    Post([this, text] { view_.ShowNotice(text); });
}

void TFolderSync::End(TSyncResult result, const std::string& path, const std::string& reason) {
    outcomes_.push_back({result, path, reason});
    view_.ItemEnded(outcomes_.back());
}

void TFolderSync::Start(const TFolderSyncPlan& plan) {
    plan_ = plan;
    outcomes_.clear();
    running_ = true;
    stopping_ = false;
    next_ = fileNumber_ = fileCount_ = 0;
    bytesBefore_ = bytesTotal_ = 0;
    secondsBefore_ = secondsTotal_ = 0;
    for (const TSyncItem& item : plan_.Items) {
        if (item.Action == TSyncAction::Skip) End(TSyncResult::Skipped, item.Path);
        if (item.Action == TSyncAction::Cannot) End(TSyncResult::Failed, item.Path, item.Reason);
        if (item.Action == TSyncAction::Copy || item.Action == TSyncAction::Convert) {
            ++fileCount_;
            bytesTotal_ += item.EstimatedBytes;
            secondsTotal_ += item.EstimatedSeconds;
        }
    }
    RemoveGone();
    if (fileCount_ > 0) staging_ = MakeStagingFolder();
    started_ = std::chrono::steady_clock::now();
    Post([this] { Next(); });
}

void TFolderSync::RemoveGone() {
    if (plan_.Removals.empty()) return;
    std::string error;
    TIpodLibrary library;
    TSyncRecord record;
    bool opened = library.Open(plan_.Mount, [this](const std::string& text) { Notice(text); }, error);
    std::set<uint64_t> ours;
    if (opened) ours = OurIds(library.Videos());
    opened = opened && record.Read(plan_.Mount, ours, error);
    std::vector<const TSyncRemoval*> removed;
    for (const TSyncRemoval& removal : plan_.Removals) {
        // Only a track of ours that the record still gives to the gone file.
        const TSyncEntry* entry = opened ? record.Find(removal.SourcePath) : nullptr;
        if (entry && entry->Id == removal.Id && ours.count(removal.Id) && library.Remove(removal.Id))
            removed.push_back(&removal);
    }
    const bool written = opened && library.Commit(!*backedUp_, error);
    if (written && !removed.empty()) *backedUp_ = true;
    for (const TSyncRemoval& removal : plan_.Removals) {
        const bool gone = written && std::find(removed.begin(), removed.end(), &removal) != removed.end();
        const std::string what = "\"" + removal.Title + "\" (" + NameOf(removal.SourcePath) + ")";
        if (gone)
            End(TSyncResult::Removed, removal.SourcePath, what);
        else
            End(TSyncResult::Failed, removal.SourcePath,
                "not removed from the iPod: " + (error.empty() ? "it changed since the plan was made" : error));
    }
}

void TFolderSync::Next() {
    while (next_ < plan_.Items.size() && plan_.Items[next_].Action != TSyncAction::Copy &&
           plan_.Items[next_].Action != TSyncAction::Convert)
        ++next_;
    if (next_ >= plan_.Items.size() || stopping_) {
        for (; next_ < plan_.Items.size(); ++next_) {
            const TSyncItem& item = plan_.Items[next_];
            if (item.Action == TSyncAction::Copy || item.Action == TSyncAction::Convert)
                End(TSyncResult::Stopped, item.Path);
        }
        std::error_code ignored;
        if (!staging_.empty()) fs::remove_all(staging_, ignored);
        staging_.clear();
        running_ = false;
        view_.SyncEnded();
        return;
    }
    const TSyncItem& item = plan_.Items[next_];
    ++fileNumber_;
    TConversionSettings settings = plan_.Settings;
    settings.OutputFolder = staging_;
    settings.Overwrite = false;
    settings.CopyStreams = item.Action == TSyncAction::Copy;
    auto delivery = std::make_unique<TIpodDelivery>(plan_.Mount, false,
                                                    [this](const std::string& text) { Notice(text); });
    delivery->PlaceWith([mount = plan_.Mount, item, source = plan_.Sources[next_], backedUp = backedUp_,
                         notice = [this](const std::string& text) { Notice(text); }](
                            const std::string& staged, std::string& error) {
        return PlaceSynced(mount, item, source, staged, *backedUp, notice, error);
    });
    runs_.push_back(std::make_unique<TConversionRun>(component_, static_cast<TRunView&>(*this), post_));
    finishPosted_ = false;
    runs_.back()->Start({item.Path}, settings, 1, std::move(delivery));
    if (!runs_.back()->Running()) RunStateChanged(false);
}

void TFolderSync::RunStateChanged(bool running) {
    if (running || finishPosted_) return;
    finishPosted_ = true;
    Post([this] { FinishItem(); });
}

void TFolderSync::FinishItem() {
    const TConversionRun& run = *runs_.back();
    const TSyncItem& item = plan_.Items[next_];
    const TRowOutcome outcome = run.RowCount() > 0 ? run.Outcome(0) : TRowOutcome::Failed;
    if (outcome == TRowOutcome::Completed && !run.NotDelivered(0))
        End(item.Action == TSyncAction::Copy ? TSyncResult::Copied : TSyncResult::Added, item.Path);
    else if (outcome == TRowOutcome::Stopped || outcome == TRowOutcome::Pending)
        End(TSyncResult::Stopped, item.Path);
    else
        End(TSyncResult::Failed, item.Path, run.RowCount() > 0 ? run.Status(0) : "it could not be started");
    bytesBefore_ += item.EstimatedBytes;
    secondsBefore_ += item.EstimatedSeconds;
    ++next_;
    Next();
}

void TFolderSync::Stop() {
    if (!running_ || stopping_) return;
    stopping_ = true;
    if (!runs_.empty() && runs_.back()->Running()) runs_.back()->Stop();
}

void TFolderSync::ShowProgress(size_t, int32_t, int32_t, int32_t currentMs, int32_t totalMs) {
    if (next_ >= plan_.Items.size()) return;
    const TSyncItem& item = plan_.Items[next_];
    const double share = totalMs > 0 ? std::clamp(static_cast<double>(currentMs) / totalMs, 0.0, 1.0) : 0.0;
    TSyncProgress progress;
    progress.FileNumber = fileNumber_;
    progress.FileCount = fileCount_;
    progress.BytesDone = bytesBefore_ + static_cast<uint64_t>(share * static_cast<double>(item.EstimatedBytes));
    progress.BytesTotal = bytesTotal_;
    progress.Name = NameOf(item.Path);
    // The plan's time for what is left, at the pace measured so far once
    // there is some to measure.
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const double done = secondsBefore_ + share * item.EstimatedSeconds;
    const double left = std::max(secondsTotal_ - done, 0.0);
    progress.SecondsLeft = static_cast<int64_t>(done > 0 && elapsed > 1.0 ? elapsed * left / done : left);
    view_.ShowProgress(progress);
}

#include "IpodSender.h"

#include <filesystem>

#include "IpodLimits.h"
#include "MediaFacts.h"
#include "SyncRecord.h"

namespace {

std::string Joined(const std::vector<std::string>& reasons) {
    std::string text;
    for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
    return text;
}

}  // namespace

bool TIpodSender::Open(const std::string& mount, std::string& error) {
    ipod_ = DescribeIpod(mount);
    if (ipod_.Support == TIpodSupport::NotAnIpod) {
        error = mount + ": " + ipod_.Reason;
        return false;
    }
    if (ipod_.Support != TIpodSupport::Supported) {
        error = (ipod_.Name.empty() ? "iPod at " + mount : "iPod \"" + ipod_.Label() + "\" (" + mount + ")") +
                ": cannot receive videos: " + ipod_.Reason;
        return false;
    }
    return true;
}

TSendOutcome TIpodSender::Send(const std::string& path, const std::string& source, bool removeHere,
                               std::string& error) {
    TMediaFacts facts;
    if (!ReadMediaFacts(path, facts, error)) return TSendOutcome::NotSent;
    const std::vector<std::string> breaks = DeviceLimitBreaks(DeviceAt(ipod_.Device), facts, ipod_.VideoLimit);
    if (!breaks.empty()) {
        error = path + ": not sent to iPod \"" + ipod_.Label() + "\", which cannot play it: " + Joined(breaks);
        return TSendOutcome::NotSent;
    }
    TIpodVideo video;
    if (!ReadIpodVideo(path, video, error)) return TSendOutcome::NotSent;
    TIpodLibrary library;
    if (!library.Open(ipod_.Mount, notice_, error)) return TSendOutcome::NotSent;
    ipod_ = library.Ipod();
    switch (library.Add(video, again_, error)) {
        case TIpodLibrary::TAdded::Added: break;
        case TIpodLibrary::TAdded::AlreadyThere: return TSendOutcome::AlreadyThere;
        case TIpodLibrary::TAdded::Failed: return TSendOutcome::NotSent;
    }
    TSyncSource made;
    if (SyncSourceOf(source, made)) {
        std::string recordError;
        switch (RecordAddedTrack(library, made, recordError)) {
            case TRecorded::Recorded: break;
            // The video goes on as it did before syncs kept a record; only a
            // later sync of its folder may not know it is there.
            case TRecorded::Unreadable:
                Notice(recordError + "; the video goes on without being noted for a later sync");
                break;
            case TRecorded::Failed: error = recordError; return TSendOutcome::NotSent;
        }
    }
    if (!library.Commit(!backedUp_, error)) return TSendOutcome::NotSent;
    backedUp_ = true;
    if (removeHere) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return TSendOutcome::OnIpod;
}

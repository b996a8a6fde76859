#include "IpodSender.h"

#include <algorithm>
#include <filesystem>

#include "IpodLimits.h"
#include "MediaFacts.h"

namespace {

std::string Joined(const std::vector<std::string>& reasons) {
    std::string text;
    for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
    return text;
}

}  // namespace

bool TIpodSender::Open(const std::string& mount, std::string& error) {
    const TIpod ipod = DescribeIpod(mount);
    if (ipod.Support == TIpodSupport::NotAnIpod) {
        error = mount + ": " + ipod.Reason;
        return false;
    }
    return library_.Open(ipod, error);
}

bool TIpodSender::Send(const std::string& path, std::string& error) {
    TMediaFacts facts;
    if (!ReadMediaFacts(path, facts, error)) return false;
    const std::vector<std::string> breaks = DeviceLimitBreaks(DeviceAt(Ipod().Device), facts, Ipod().VideoLimit);
    if (!breaks.empty()) {
        error = path + ": not sent to iPod \"" + Ipod().Label() + "\", which cannot play it: " + Joined(breaks);
        return false;
    }
    TIpodVideo video;
    if (!ReadIpodVideo(path, video, error) || !library_.Add(video, error)) return false;
    sent_.push_back(path);
    unsaved_.push_back(path);
    return !everyFile_ || Save(error);
}

bool TIpodSender::Save(std::string& error) {
    takenOff_.clear();
    const bool saved = library_.Save(error);
    if (!saved) {
        // Files taken off again stay on this computer whatever was asked.
        takenOff_ = unsaved_;
        for (const std::string& path : takenOff_) sent_.erase(std::find(sent_.begin(), sent_.end(), path));
    }
    unsaved_.clear();
    return saved;
}

bool TIpodSender::WriteAfterEveryFile(std::string& error) {
    everyFile_ = true;
    return Save(error);
}

bool TIpodSender::Finish(std::string& error) {
    if (!Save(error)) return false;
    for (const std::string& path : toRemove_) {
        if (std::find(sent_.begin(), sent_.end(), path) == sent_.end()) continue;
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    toRemove_.clear();
    return true;
}

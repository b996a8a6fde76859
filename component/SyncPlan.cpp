#include "SyncPlan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "IpodLimits.h"
#include "ListProgress.h"
#include "MediaFacts.h"

namespace {

// An MP4 file's headers and the index of its samples: a fixed part, and
// about one per cent of the streams for the sample tables and chunk offsets.
constexpr uint64_t kContainerBytes = 32 * 1024;
constexpr double kIndexShare = 0.01;

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// Containers whose H.264 carries its parameter sets apart from the
// pictures, as an MP4 file stores them, so that its packets go into one
// unchanged.
bool CopiesIntoMp4(const TMediaFacts& facts) {
    return facts.Container.find("mp4") != std::string::npos || facts.Container.find("matroska") != std::string::npos;
}

// The reasons the file's streams would not play on the device, whatever
// holds them: they go into the device's own container.
std::vector<std::string> StreamBreaks(const TMediaFacts& facts, const TConversionSettings& settings) {
    const TDevice& device = DeviceAt(settings.Device);
    TMediaFacts remuxed = facts;
    remuxed.Container = device.ContainerFamily;
    remuxed.Extension = device.Extension;
    return DeviceLimitBreaks(device, remuxed, settings.Model);
}

std::string Count(size_t count, const char* what) { return std::to_string(count) + " " + what; }

}  // namespace

std::string SyncSizeText(uint64_t bytes) {
    char text[32];
    if (bytes < 1000000000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

double EstimatedSeconds(TSyncAction action, int64_t durationUs, uint64_t bytes, const TDevice& device) {
    if (action != TSyncAction::Copy && action != TSyncAction::Convert) return 0;
    const double writing = kIpodFileSeconds + static_cast<double>(bytes) / kIpodWriteBytesPerSecond;
    if (action == TSyncAction::Copy) return writing;
    return static_cast<double>(std::max<int64_t>(durationUs, 0)) / 1e6 / device.FilmSecondsPerSecond + writing;
}

uint64_t EstimatedOutputBytes(int64_t durationUs, int32_t videoKbps, int32_t audioKbps) {
    if (durationUs <= 0) return kContainerBytes;
    const double streams = static_cast<double>(durationUs) / 1e6 * (videoKbps + audioKbps) * 1000.0 / 8.0;
    return kContainerBytes + static_cast<uint64_t>(streams * (1.0 + kIndexShare));
}

void EstimateAgain(TSyncItem& item, const TConversionSettings& settings) {
    if (item.Action != TSyncAction::Convert) return;
    item.EstimatedBytes = EstimatedOutputBytes(item.DurationUs, settings.VideoBitrateKbps,
                                               item.HasAudio ? settings.AudioBitrateKbps : 0);
    item.EstimatedSeconds = EstimatedSeconds(item.Action, item.DurationUs, item.EstimatedBytes, DeviceAt(settings.Device));
}

TSyncItem PlanSyncItem(const std::string& path, const TConversionSettings& settings) {
    TSyncItem item;
    item.Path = path;
    TMediaFacts facts;
    std::string error;
    if (!ReadMediaFacts(path, facts, error)) {
        item.Reason = "it cannot be read as a video (" + error + ")";
        return item;
    }
    if (!facts.Video) {
        item.Reason = "it has no picture";
        return item;
    }
    if (facts.DurationUs <= 0) {
        item.Reason = "its length cannot be read, so its size cannot be planned";
        return item;
    }
    item.DurationUs = facts.DurationUs;
    item.HasAudio = facts.Audio.has_value();
    std::error_code sizeError;
    if (facts.Video->Codec == AV_CODEC_ID_H264 && CopiesIntoMp4(facts) && StreamBreaks(facts, settings).empty()) {
        item.Action = TSyncAction::Copy;
        item.EstimatedBytes = std::filesystem::file_size(path, sizeError);
        item.EstimatedSeconds =
            EstimatedSeconds(item.Action, item.DurationUs, item.EstimatedBytes, DeviceAt(settings.Device));
    } else {
        item.Action = TSyncAction::Convert;
        EstimateAgain(item, settings);
    }
    if (item.EstimatedBytes > kIpodLargestFile) {
        item.Reason = (item.Action == TSyncAction::Copy ? "it takes " : "converted it would take about ") +
                      SyncSizeText(item.EstimatedBytes) + ", more than the iPod holds in one file (4.29 GB)";
        item.Action = TSyncAction::Cannot;
    }
    return item;
}

TSyncTotals SyncTotals(const std::vector<TSyncItem>& items, const std::vector<TSyncRemoval>& removals) {
    TSyncTotals totals;
    for (const TSyncItem& item : items) {
        if (item.Action != TSyncAction::Copy && item.Action != TSyncAction::Convert) continue;
        totals.Needed += item.EstimatedBytes;
        totals.Freed += item.ReplacedBytes;
        totals.Seconds += item.EstimatedSeconds;
    }
    for (const TSyncRemoval& removal : removals) totals.Freed += removal.Bytes;
    return totals;
}

bool SyncPlanFits(const std::vector<TSyncItem>& items, const std::vector<TSyncRemoval>& removals,
                  uint64_t freeBytes) {
    const TSyncTotals totals = SyncTotals(items, removals);
    return totals.Needed <= freeBytes + totals.Freed;
}

std::vector<std::string> SyncPlanLines(const std::vector<TSyncItem>& items, const std::vector<TSyncRemoval>& removals,
                                       uint64_t freeBytes, const std::string& remedy) {
    std::vector<std::string> lines;
    size_t counts[4] = {};
    for (const TSyncItem& item : items) {
        ++counts[static_cast<size_t>(item.Action)];
        const std::string name = NameOf(item.Path);
        const std::string replacing = item.ReplacesId ? ", replacing the earlier version on the iPod" : "";
        switch (item.Action) {
            case TSyncAction::Skip: lines.push_back("skip     " + name + ": already on the iPod"); break;
            case TSyncAction::Copy:
                lines.push_back("copy     " + name + "  " + SyncSizeText(item.EstimatedBytes) +
                                " (plays as it is)" + replacing);
                break;
            case TSyncAction::Convert:
                lines.push_back("convert  " + name + "  about " + SyncSizeText(item.EstimatedBytes) + replacing);
                break;
            case TSyncAction::Cannot: lines.push_back("cannot   " + name + ": " + item.Reason); break;
        }
    }
    for (const TSyncRemoval& removal : removals)
        lines.push_back("delete   \"" + removal.Title + "\"  " + SyncSizeText(removal.Bytes) + ": " +
                        removal.SourcePath + " is gone");
    const TSyncTotals totals = SyncTotals(items, removals);
    const auto action = [&](TSyncAction kind) { return counts[static_cast<size_t>(kind)]; };
    lines.push_back(Count(action(TSyncAction::Skip), "to skip, ") + Count(action(TSyncAction::Copy), "to copy, ") +
                    Count(action(TSyncAction::Convert), "to convert, ") +
                    Count(action(TSyncAction::Cannot), "that cannot go on, ") +
                    Count(removals.size(), "to delete; about ") + SyncSizeText(totals.Needed) + " in all, " +
                    SyncSizeText(freeBytes) + " free on the iPod for videos");
    if (totals.Needed > 0) lines.push_back("It would take " + TimeWords(static_cast<int64_t>(totals.Seconds)) + ".");
    const uint64_t room = freeBytes + totals.Freed;
    if (totals.Needed <= room)
        lines.push_back("About " + SyncSizeText(room - totals.Needed) + " would be left free.");
    else
        lines.push_back("The plan does not fit: it needs " + SyncSizeText(totals.Needed - room) +
                        " more than the iPod has free; " + remedy + ".");
    return lines;
}

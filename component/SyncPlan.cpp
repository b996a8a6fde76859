#include "SyncPlan.h"

#include <cstdio>
#include <filesystem>

#include "IpodLimits.h"
#include "MediaFacts.h"

namespace {

// An MP4 file's headers and the index of its samples: a fixed part, and
// about one per cent of the streams for the sample tables and chunk offsets.
constexpr uint64_t kContainerBytes = 32 * 1024;
constexpr double kIndexShare = 0.01;

uint64_t Total(const std::vector<TSyncItem>& items) {
    uint64_t total = 0;
    for (const TSyncItem& item : items)
        if (item.Action == TSyncAction::Convert) total += item.EstimatedBytes;
    return total;
}

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

std::string SyncSizeText(uint64_t bytes) {
    char text[32];
    if (bytes < 1000000000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

uint64_t EstimatedOutputBytes(int64_t durationUs, int32_t videoKbps, int32_t audioKbps) {
    if (durationUs <= 0) return kContainerBytes;
    const double streams = static_cast<double>(durationUs) / 1e6 * (videoKbps + audioKbps) * 1000.0 / 8.0;
    return kContainerBytes + static_cast<uint64_t>(streams * (1.0 + kIndexShare));
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
    item.EstimatedBytes = EstimatedOutputBytes(facts.DurationUs, settings.VideoBitrateKbps,
                                               facts.Audio ? settings.AudioBitrateKbps : 0);
    if (item.EstimatedBytes > kIpodLargestFile) {
        item.Reason = "converted it would take about " + SyncSizeText(item.EstimatedBytes) +
                      ", more than the iPod holds in one file (4.29 GB)";
        return item;
    }
    item.Action = TSyncAction::Convert;
    return item;
}

bool SyncPlanFits(const std::vector<TSyncItem>& items, uint64_t freeBytes) { return Total(items) <= freeBytes; }

std::vector<std::string> SyncPlanLines(const std::vector<TSyncItem>& items, uint64_t freeBytes) {
    std::vector<std::string> lines;
    size_t converted = 0;
    size_t refused = 0;
    for (const TSyncItem& item : items) {
        if (item.Action == TSyncAction::Convert) {
            ++converted;
            lines.push_back("convert  " + NameOf(item.Path) + "  about " + SyncSizeText(item.EstimatedBytes));
        } else {
            ++refused;
            lines.push_back("cannot   " + NameOf(item.Path) + ": " + item.Reason);
        }
    }
    const uint64_t total = Total(items);
    lines.push_back(std::to_string(converted) + " to convert, " + std::to_string(refused) +
                    " that cannot go on; about " + SyncSizeText(total) + " in all, " + SyncSizeText(freeBytes) +
                    " free on the iPod for videos");
    if (total <= freeBytes)
        lines.push_back("About " + SyncSizeText(freeBytes - total) + " would be left free.");
    else
        lines.push_back("The plan does not fit: it needs " + SyncSizeText(total - freeBytes) +
                        " more than the iPod has free; use a lower --profile or fewer folders.");
    return lines;
}

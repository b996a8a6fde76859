#pragma once
// What a sync of folders to an iPod would do with each video, and how much
// room the converted files would take, said before anything is written.

#include <cstdint>
#include <string>
#include <vector>

#include "ConversionSettings.h"

enum class TSyncAction { Convert, Cannot };

struct TSyncItem {
    std::string Path;
    TSyncAction Action = TSyncAction::Cannot;
    uint64_t EstimatedBytes = 0;  // of the converted file
    std::string Reason;           // why it cannot go on, in plain words
};

// The size of a converted file of that length made at those rates: the
// streams' bytes, and the MP4 container's index and headers on top.
uint64_t EstimatedOutputBytes(int64_t durationUs, int32_t videoKbps, int32_t audioKbps);

// Reads the file and decides; `settings` are those the device plan leaves
// (its rates). Needs bound libraries.
TSyncItem PlanSyncItem(const std::string& path, const TConversionSettings& settings);

// The plan's lines: one per file, then the counts, the total and the free
// space left after; the last says what is missing when the plan does not fit.
std::vector<std::string> SyncPlanLines(const std::vector<TSyncItem>& items, uint64_t freeBytes);
// Whether the converted files fit in `freeBytes`.
bool SyncPlanFits(const std::vector<TSyncItem>& items, uint64_t freeBytes);
// "12.3 MB", or "1.23 GB" from a gigabyte on
std::string SyncSizeText(uint64_t bytes);

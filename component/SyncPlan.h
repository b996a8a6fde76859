#pragma once
// What a sync of folders to an iPod does with each video, and how much room
// the files that go on take, said before anything is written.

#include <cstdint>
#include <string>
#include <vector>

#include "ConversionSettings.h"

enum class TSyncAction {
    Skip,     // already on the iPod as it is now
    Copy,     // plays there as it is: its streams go on unchanged
    Convert,  // converted for the iPod first
    Cannot,   // with the reason
};

struct TSyncItem {
    std::string Path;
    TSyncAction Action = TSyncAction::Cannot;
    uint64_t EstimatedBytes = 0;  // of the file that goes on
    double EstimatedSeconds = 0;  // to convert or copy it and put it on
    std::string Reason;           // why it cannot go on, in plain words
    int64_t DurationUs = 0;       // to estimate the size again at other rates
    bool HasAudio = false;
    uint64_t ReplacesId = 0;      // the track of an earlier version of the file; 0 when none
    uint64_t ReplacedBytes = 0;   // what that track's file frees
};

// A track this program put on from the folders, whose source is gone.
struct TSyncRemoval {
    uint64_t Id = 0;
    std::string SourcePath;
    std::string Title;
    uint64_t Bytes = 0;
};

// The size of a converted file of that length made at those rates: the
// streams' bytes, and the MP4 container's index and headers on top.
uint64_t EstimatedOutputBytes(int64_t durationUs, int32_t videoKbps, int32_t audioKbps);

// Reads the file and decides whether it plays on the device of `settings`
// as it is (`settings.Model` included) or is converted at its rates (those
// the device plan leaves). Needs bound libraries.
TSyncItem PlanSyncItem(const std::string& path, const TConversionSettings& settings);
// The item's size and time converted at the rates of `settings`.
void EstimateAgain(TSyncItem& item, const TConversionSettings& settings);
// Seconds to copy or convert a file and put it on: a conversion takes the
// film's length at the device's measured speed, and every file the time
// the iPod takes to write its bytes and to list it.
double EstimatedSeconds(TSyncAction action, int64_t durationUs, uint64_t bytes, const TDevice& device);

struct TSyncTotals {
    uint64_t Needed = 0;  // by the files that go on
    uint64_t Freed = 0;   // by the tracks replaced or removed
    double Seconds = 0;   // to put them on
};
TSyncTotals SyncTotals(const std::vector<TSyncItem>& items, const std::vector<TSyncRemoval>& removals);
// Whether the files that go on fit in `freeBytes` and what the plan frees.
bool SyncPlanFits(const std::vector<TSyncItem>& items, const std::vector<TSyncRemoval>& removals,
                  uint64_t freeBytes);

// The plan's lines: one per file and per removal, then the counts, the
// total and the free space left after; the last says what is missing when
// the plan does not fit, ending with `remedy`, what the person can do in the
// front end showing it.
std::vector<std::string> SyncPlanLines(const std::vector<TSyncItem>& items, const std::vector<TSyncRemoval>& removals,
                                       uint64_t freeBytes, const std::string& remedy);
inline constexpr char kSyncRemedyCommandLine[] = "use --fit or a lower profile";
inline constexpr char kSyncRemedyWindow[] = "press Fit, or choose a lower profile in the main window";
// "12.3 MB", or "1.23 GB" from a gigabyte on
std::string SyncSizeText(uint64_t bytes);

#pragma once
// How much video a file sends: its average bit rate and the most it sends in
// any one second, read from the first video stream's packets.

#include <string>

struct VideoRate {
    double averageBitRate = 0;  // bits per second over the stream's duration
    double peakBitRate = 0;     // bits in the fullest one-second stretch
};

// Requires bound libraries; throws std::runtime_error when the file cannot be
// read or holds no video.
VideoRate MeasureVideoRate(const std::string& path);

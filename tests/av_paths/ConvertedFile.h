#pragma once
// What a converted file holds, read back with the libraries: per stream the
// codec, picture size, frame rate, audio format, bytes and duration, plus the
// decoded analysis (marks, frame counts, decode errors).

#include <cstdint>
#include <string>
#include <vector>

#include "MediaAnalysis.h"

extern "C" {
#include <libavutil/rational.h>
}

struct ConvertedStream {
    int mediaType = -1;
    std::string codecName;
    AVRational frameRate{0, 1};  // the rate the container's timestamps show
    int64_t bytes = 0;           // sum of the packets
    int64_t durationUs = 0;      // first packet to end of the last one
};

struct ConvertedFile {
    std::string error;
    std::vector<ConvertedStream> streams;
    MediaAnalysis analysis;

    const ConvertedStream* First(int mediaType) const;
    // Bits per second of the stream's packets over its duration.
    double BitRate(const ConvertedStream& stream) const;
};

ConvertedFile ReadConvertedFile(const std::string& path);

// The options the window uses for its iPod profile with 512 kbit/s video and
// 80 kbit/s stereo audio, with the frame rate given.
std::vector<std::pair<std::string, std::string>> IpodOptions(const std::string& frameRate);

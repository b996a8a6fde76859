#pragma once
// The cover art of MP4 and QuickTime outputs: a picture of the input as JPEG,
// in a stream of its own that the muxer writes as the file's cover. Players
// and the iPod's menus then show a picture instead of a file name.

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

struct TPosterStream {
    int index = -1;  // -1: the output carries no poster
    std::vector<uint8_t> jpeg;
};

// Adds the poster's stream to `output` when its muxer keeps cover art and the
// input gives a picture at most `maxWidth` wide. Without one the output is
// still whole, so a picture that cannot be had gives no stream.
TPosterStream AddPosterStream(AVFormatContext* output, const std::string& inputPath, int maxWidth);

// Writes the poster's one packet once the header is written; the library's
// result.
int WritePosterPacket(AVFormatContext* output, const TPosterStream& poster);

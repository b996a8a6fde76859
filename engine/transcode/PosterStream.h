#pragma once
// The cover art of MP4 and QuickTime outputs: a picture of the input as JPEG,
// in a stream of its own that the muxer writes as the file's cover. Players
// and the iPod's menus then show a picture instead of a file name. The
// stream is declared with the header; its one packet is written once the
// run has its picture, before the trailer, and the muxer keeps it aside from
// the pictures and sound, so when it comes changes nothing else in the file.

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

// The poster as JPEG bytes with its size; empty when no picture was had.
struct TPosterShot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> jpeg;
};

// The input stream a poster is taken from: its first video stream that is
// not cover art itself; none without one.
const AVStream* PosterSource(const AVFormatContext* input);

// Adds the poster's stream to `output` when its muxer keeps cover art and
// posters are wanted (`maxWidth` > 0), sized for a picture of `source`;
// its index, else -1.
int AddPosterStream(AVFormatContext* output, const AVStream& source, int maxWidth);

// The poster GrabPosterPicture takes from the input file itself, for a run
// whose own pictures gave none (a copied video stream).
TPosterShot GrabPosterShot(const std::string& inputPath, int maxWidth);

// Writes the poster's one packet into the stream `index` (none for -1 or an
// empty shot); the library's result.
int WritePosterPacket(AVFormatContext* output, int index, const TPosterShot& shot);

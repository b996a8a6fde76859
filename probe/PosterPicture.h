#pragma once
// One picture that stands for a whole video: the window's thumbnails and the
// cover art written into converted files. It is taken about a tenth of the way
// in, where titles and fades are usually over, and a black or blank picture
// there is passed over for a later one.
//
// Both functions may run on any thread, several at once, and never throw:
// a file that cannot give a picture gives an empty result.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A picture as shown: the pixel aspect and the turn a phone stored applied,
// rows of red, green and blue bytes packed without padding (Width * 3 bytes
// per row, Height rows).
struct TPosterPicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb;
};

// A picture of the file's first video stream, at most `maxWidth` pixels wide
// (never enlarged) at its display shape; sizes are even. Empty when the file
// cannot be read, has no video or no picture decodes, or the libraries are
// not bound.
std::optional<TPosterPicture> GrabPosterPicture(const std::string& path, int maxWidth);

struct AVFrame;
// Runs of `runLength` consecutive pictures decoded at `places` instants
// spread evenly across the file's first video stream (three seconds apart
// when its duration is unknown), each handed to `take` with the number of
// its place, in display order; the picture is the decoder's, lent for the
// call. False when no picture decodes. `take` must not throw.
bool SamplePictures(const std::string& path, int places, int runLength,
                    const std::function<void(const AVFrame&, int)>& take);

// The picture as a JPEG file's bytes (the libraries' "mjpeg" encoder); empty
// when it cannot be encoded.
std::vector<uint8_t> EncodePosterJpeg(const TPosterPicture& picture);

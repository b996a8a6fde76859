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

struct AVStream;
struct AVRational;
// The size of the picture PosterPictureOf makes of a frame of `stream` that
// is `width` x `height` with the given sample aspect (0/1: the stream's),
// as shown.
struct TPosterSize {
    int Width = 0;
    int Height = 0;
};
TPosterSize PosterSizeOf(const AVStream& stream, int width, int height, AVRational aspect, int maxWidth);
// The same picture made from a frame `stream`'s decoder gave, for whoever
// decodes the stream anyway (a conversion's poster); empty when it cannot be
// scaled.
std::optional<TPosterPicture> PosterPictureOf(const AVFrame& frame, const AVStream& stream, int maxWidth);
// The instants, in the stream's time base, at which GrabPosterPicture looks
// for a picture in turn: a tenth of the way in and later, by the stream's
// duration or else the file's (`fileDurationUs`); `fromStart`, or neither
// known: the first seconds.
std::vector<int64_t> PosterInstants(const AVStream& stream, int64_t fileDurationUs, bool fromStart);
// Black, white or one colour with hardly a shade in it: a picture passed over
// for a later one.
bool LooksBlank(const TPosterPicture& picture);

// The picture as a JPEG file's bytes (the libraries' "mjpeg" encoder); empty
// when it cannot be encoded.
std::vector<uint8_t> EncodePosterJpeg(const TPosterPicture& picture);

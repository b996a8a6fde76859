#pragma once
// What a media file holds, read back from the file itself rather than from
// the settings it was made with: container, codecs, profiles, picture size,
// frame rate, bit rates and the audio's shape. Whether a player can play a
// file is decided on these.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

struct TVideoFacts {
    AVCodecID Codec = AV_CODEC_ID_NONE;
    int Profile = FF_PROFILE_UNKNOWN;
    int Level = FF_LEVEL_UNKNOWN;  // H.264: ten times the level number
    int Width = 0;
    int Height = 0;
    double FrameRate = 0.0;  // 0 when not known
    int64_t BitRate = 0;     // bits per second, 0 when not known
};

struct TAudioFacts {
    AVCodecID Codec = AV_CODEC_ID_NONE;
    int Profile = FF_PROFILE_UNKNOWN;
    int SampleRate = 0;
    int Channels = 0;
    int64_t BitRate = 0;  // bits per second, 0 when not known
};

struct TChapterFact {
    int64_t StartMs = 0;
    std::string Title;
};

struct TMediaFacts {
    std::string Container;  // the demuxer's names, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
    std::string Extension;  // the file name's, lower case with its dot; empty when none
    std::optional<TVideoFacts> Video;  // the first video stream, if any
    std::optional<TAudioFacts> Audio;  // the first audio stream, if any
    int64_t DurationUs = -1;           // the container's, -1 when not known
    std::map<std::string, std::string> Tags;  // the container's metadata, under the library's key names
    std::vector<TChapterFact> Chapters;       // in time order
    // The file's cover picture as JPEG bytes (a converted file's poster);
    // empty when it has none in JPEG.
    std::vector<uint8_t> CoverJpeg;
};

// Opens the file and reads its facts. False, with a message naming the file
// and the cause in `error`, when it cannot be read.
bool ReadMediaFacts(const std::string& path, TMediaFacts& facts, std::string& error);

#pragma once
// What an input holds beyond its duration and kind, as the decisions made
// for it before converting need it: the colours of its picture, its sound
// tracks with their languages, its subtitle tracks, its chapters.

#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFormatContext;

struct TSoundTrack {
    int StreamIndex = -1;
    std::string Language;  // as the file gives it ("eng", "jpn"), empty when it says none
    bool Default = false;  // the file marks it as the one to play
    int Channels = 0;
    std::string Codec;     // the libraries' short name
};

struct TSubtitleTrack {
    int StreamIndex = -1;
    std::string Language;  // as the file gives it, empty when it says none
    bool Forced = false;   // the file marks it as shown to everyone (foreign dialogue)
    bool Default = false;
    bool Pictures = false;  // bitmaps (DVD, Blu-ray), which cannot become text
    bool Readable = false;  // the libraries have a decoder for it
    std::string Codec;      // the libraries' short name
};

struct TInputSurvey {
    // The first video stream's picture; size 0 when there is none.
    int Width = 0;
    int Height = 0;
    AVColorSpace Matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange Range = AVCOL_RANGE_UNSPECIFIED;
    AVColorTransferCharacteristic Transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorPrimaries Primaries = AVCOL_PRI_UNSPECIFIED;
    bool FullRangeFormat = false;  // a "yuvj" picture format, full range whatever it says
    std::vector<TSoundTrack> SoundTracks;  // in stream order
    std::vector<TSubtitleTrack> SubtitleTracks;  // in stream order
    int Chapters = 0;
};

TInputSurvey SurveyInput(const AVFormatContext* context);

#pragma once
// Picture subtitles (DVD, Blu-ray) of one stream of a file laid over the
// film's pictures. The stream's packets are read from the file before the
// first picture (the file is read, none of its pictures decoded) and
// decoded in time order as the pictures reach them; a cue that cannot be
// decoded is left out.

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "CueArea.h"
#include "LibraryHandles.h"

class PictureCues {
public:
    // Raises FFMpegException naming the cause when the stream cannot be read.
    PictureCues(const std::string& file, int stream);
    ~PictureCues();
    PictureCues(const PictureCues&) = delete;
    PictureCues& operator=(const PictureCues&) = delete;

    // Draws the cue shown at `time_us` (the file's clock) into the area of
    // an 8-bit 4:2:0 picture, scaled as the source picture is and moved
    // inside the area where it would reach out of it.
    void Draw(AVFrame* picture, const CueArea& area, int64_t time_us);

private:
    struct Packet {
        int64_t time_us = 0;
        TPacketPtr packet;
    };
    void Advance(int64_t time_us);
    void Forget();
    void DrawRect(AVFrame* picture, const CueArea& area, const AVSubtitleRect& rect, int canvas_width,
                  int canvas_height);

    std::vector<Packet> packets_;
    size_t next_ = 0;
    TCodecContextPtr decoder_;
    AVSubtitle shown_{};
    bool showing_ = false;
    int64_t shown_from_us_ = 0;
    int64_t shown_until_us_ = 0;
    // A rect scaled to the area: cover, then red, green and blue times the
    // cover, 0..1 each.
    std::vector<float> layer_;
};

#pragma once
// Subtitles drawn into the film's pictures, for devices that show no text
// track or when a person asks for it: text cues (SRT, ASS/SSA, mov_text)
// through the libraries' libass-based "subtitles" filter, picture cues
// (DVD, Blu-ray) laid over the picture (PictureCues). Both are placed on
// the part of the encoder's picture the source fills, scaled with it. The
// burner reads the cues from the input file itself, so it works wherever
// the pictures are made, on the run's thread or on a stage's. What goes
// wrong stops the drawing with a message; the film is made without them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "CueArea.h"
#include "LibraryHandles.h"

class PictureCues;

struct SubtitleBurnSettings {
    std::string file;  // the input
    int stream = -1;   // the file's stream; -1: none
    // Its place among the file's subtitle streams, which is how the filter
    // names it.
    int subtitle_number = 0;
    bool pictures = false;  // bitmap cues rather than text
    // The run's clock minus the file's, which the cues keep.
    int64_t time_offset_us = 0;
};

class SubtitleBurner {
public:
    explicit SubtitleBurner(const SubtitleBurnSettings& settings);
    ~SubtitleBurner();
    SubtitleBurner(const SubtitleBurner&) = delete;
    SubtitleBurner& operator=(const SubtitleBurner&) = delete;

    // Draws what is shown at `time_us` (the run's clock) into the area of a
    // writable 8-bit 4:2:0 picture. A failure is added to `messages` once,
    // and nothing is drawn from then on.
    void Burn(AVFrame* picture, const CueArea& area, int64_t time_us, std::vector<std::string>& messages);

private:
    void DrawText(AVFrame* picture, const CueArea& area, int64_t time_us);
    void BuildTextGraph(int width, int height);

    const SubtitleBurnSettings settings_;
    bool failed_ = false;
    std::unique_ptr<PictureCues> pictures_;
    TFilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    int graph_width_ = 0;
    int graph_height_ = 0;
};

#pragma once
// Where the source picture shows inside the encoder's picture, as subtitles
// drawn into it need to know: cues are placed on the source's picture and
// must land on the same spot of the film, inside the picture and never in
// the bands added around it.

struct CueArea {
    // The rectangle of the encoder's picture the source fills.
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    // The decoded picture and the bands cut off it before it was scaled.
    int source_width = 0;
    int source_height = 0;
    int crop_top = 0;
    int crop_bottom = 0;
    int crop_left = 0;
    int crop_right = 0;
};

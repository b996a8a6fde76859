#pragma once
// What a few pictures sampled across a video say about all of it: whether
// it is interlaced (the libraries' idet filter, which looks for combing
// between fields) and which black bands surround the picture in every
// scene (their cropdetect filter). A film is read at a handful of places,
// never decoded whole.

#include <string>

struct TPictureSurvey {
    int Sampled = 0;  // pictures looked at
    // idet's judgement of the pictures, counting each with its neighbours.
    int Interlaced = 0;
    int Progressive = 0;
    int Bright = 0;  // pictures that are not dark scenes; bands are read from these alone
    // Black bands around the picture in every bright picture sampled, even
    // numbers of pixels; all 0 when there are none or too few bright
    // pictures to tell.
    int Top = 0, Bottom = 0, Left = 0, Right = 0;
    int Width = 0, Height = 0;  // of the sampled pictures

    bool LooksInterlaced() const { return Interlaced >= 4 && Interlaced > 2 * Progressive; }
    bool HasBands() const { return Top || Bottom || Left || Right; }
};

// Needs bound libraries with libavfilter; an unreadable file gives an empty survey.
TPictureSurvey SurveyPictures(const std::string& path);

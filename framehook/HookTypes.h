#pragma once
// What decides, picture by picture, whether the frame hooks of a task act.

#include <cstdint>

// The before-hook's answer for one picture. It is kept from picture to
// picture, so a handler sees its previous answer.
enum THookAction : int32_t {
    haContinue,  // the frame hooks process this picture
    haIgnore,    // this picture passes without them
    haStop,      // this and every later picture of the task pass without them
};

// A span of pictures, by their time in microseconds, in which the frame hooks
// act; both ends belong to it.
struct THookTimeRange {
    int64_t start_us = 0;
    int64_t end_us = 0;
    bool operator==(const THookTimeRange&) const = default;
};

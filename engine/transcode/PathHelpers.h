#pragma once
// What the video and audio paths share: the repair of clock jumps between an
// output and its sync source, and the working frames a run keeps.

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

// Shifts the output's view of its sync source when the two clocks are more
// than the threshold apart (a source whose streams start far apart, or whose
// clock jumps): such a gap is not filled with copies of pictures or with
// silence, the output continues without it. True when it shifted.
// `sync_shift` is in microseconds.
bool AbsorbClockJump(int64_t& sync_shift, double difference_seconds, float threshold_seconds);

class Stage;

// A stage's queue refuses an input only once the stage has been closed,
// which the run does on its way out: work handed to it then cannot be done,
// and the run ends with a message that says so.
void RequireAccepted(bool accepted, const Stage& stage);

// A frame of the run, allocated on first use and kept until the run ends.
AVFrame* RunFrame(AVFrame*& frame);

// No recording has so few samples a second: a header that says so is
// damaged, and following it would stretch seconds of sound over hours.
// Raises an error naming the file.
void RefuseImplausibleSampleRate(int sample_rate, const char* file_name);

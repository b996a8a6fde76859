#pragma once
// The audio processor of one output stream on a thread of its own: while
// the run's thread reads and hands out what comes next, this one keeps the
// sound in step, converts it and cuts it into the encoder's frames. Each
// block carries the sync source's clock as it stood when the block was
// handed out, and the processor keeps its own count of the samples it gave,
// so its corrections are those the run's thread would make; the run takes
// the frames a fixed number of blocks later, in their order.

#include <cstddef>
#include <cstdint>

#include "AudioProcessor.h"
#include "LaggedStage.h"
#include "LibraryHandles.h"

struct AudioBlockJob {
    TFramePtr block;  // none: the end
    int64_t clock_us = 0;
    AudioBlockOutcome outcome;  // on the way back
};

class AudioProcessStage : public LaggedStage<AudioBlockJob, AudioBlockJob> {
public:
    // The processor must outlive the stage; only the stage's thread uses it
    // meanwhile. The stream is at its start.
    AudioProcessStage(AudioProcessor& processor, size_t lag) : LaggedStage(lag, lag + 1), processor_(processor) {}

    const char* Name() const override { return "tovrela sound"; }

protected:
    AudioBlockJob Process(AudioBlockJob job) override;

private:
    AudioProcessor& processor_;
    int at_start_ = 1;  // the source stream's, which feeds no other output
};

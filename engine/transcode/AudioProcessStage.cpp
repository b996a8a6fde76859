#include "AudioProcessStage.h"

AudioBlockJob AudioProcessStage::Process(AudioBlockJob job) {
    processor_.Process(job.block.get(), job.clock_us, at_start_, job.outcome);
    job.block.reset();
    return job;
}

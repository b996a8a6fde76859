#include "AudioProcessStage.h"

AudioBlockJob AudioProcessStage::Process(AudioBlockJob job) {
    try {
        processor_.Process(job.block.get(), job.clock_us, at_start_, job.outcome);
    } catch (...) {
        job.failure = std::current_exception();
    }
    job.block.reset();
    return job;
}

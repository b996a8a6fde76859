#include "VideoProcessStage.h"

#include <exception>

VideoPictureJob VideoProcessStage::Process(VideoPictureJob job) {
    if (!job.picture) return job;
    try {
        if (job.prepare && preparer_ && preparer_->Prepare(job.picture.get(), job.time_us, job.messages))
            job.interlaced = 0;
        if (job.copies > 0)
            job.picture = processor_.Process(job.picture.get(), job.time_us, job.messages);
        else
            job.picture.reset();
    } catch (const std::exception& error) {
        job.picture.reset();
        job.failure = error.what();
    }
    return job;
}

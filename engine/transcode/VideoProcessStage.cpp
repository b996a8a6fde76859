#include "VideoProcessStage.h"

#include <exception>

VideoPictureJob VideoProcessStage::Process(VideoPictureJob job) {
    if (!job.picture) return job;
    try {
        job.picture = processor_.Process(job.picture.get());
    } catch (const std::exception& error) {
        job.picture.reset();
        job.failure = error.what();
    }
    return job;
}

#pragma once
// The video processor of one output stream on a thread of its own: while the
// run's thread hands out the next pictures and the encoder codes earlier
// ones, this one deinterlaces and hooks them (when it prepares its stream's
// pictures), then crops, scales, turns and pads. The run takes each picture
// a fixed number of pictures later, so the encoder gets them in the order,
// and at the point, that doing the work on the run's thread would give.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "LaggedStage.h"
#include "LibraryHandles.h"
#include "PicturePreparer.h"
#include "VideoProcessor.h"

// A decoded picture on its way to the encoder, with what the run decided
// for it when it was handed out.
struct VideoPictureJob {
    TFramePtr picture;      // the decoded picture as it comes; the processed one on the way back
    int copies = 0;         // times it goes to the encoder (more than one fills a gap); 0: none
    int64_t first_pts = 0;  // in the encoder's time base
    int interlaced = 0;
    int top_field_first = 0;
    AVPictureType picture_type = AV_PICTURE_TYPE_NONE;
    float quality = 0;      // the source's quantiser
    // Deinterlaced and hooked first; the hooks are told it is shown at
    // `time_us`. A picture that goes to no output is still prepared, since
    // the hooks see every decoded picture.
    bool prepare = false;
    int64_t time_us = 0;
    std::vector<std::string> messages;  // for the task's log, from the hooks
    std::string failure;    // why it could not be processed; ends the run
};

class VideoProcessStage : public LaggedStage<VideoPictureJob, VideoPictureJob> {
public:
    // The processor, and the preparer when there is one, must outlive the
    // stage; only the stage's thread uses them meanwhile.
    VideoProcessStage(VideoProcessor& processor, PicturePreparer* preparer, size_t lag)
        : LaggedStage(lag, lag + 1), processor_(processor), preparer_(preparer) {}

    const char* Name() const override { return "tovrela picture"; }

protected:
    VideoPictureJob Process(VideoPictureJob job) override;

private:
    VideoProcessor& processor_;
    PicturePreparer* preparer_;
};

#include "PosterTap.h"

#include <utility>

#include "AVUtilHlpr.h"

PosterTap::PosterTap(const AVStream& source, int64_t fileDurationUs, int maxWidth, std::shared_ptr<TPosterShot> shot)
    : FrameTap(4),
      source_(source),
      maxWidth_(maxWidth),
      tenths_(PosterInstants(source, fileDurationUs, false)),
      firstSeconds_(PosterInstants(source, 0, true)),
      last_(ff::av_frame_alloc()),
      shot_(std::move(shot)) {}

bool PosterTap::Reached(const AVFrame& frame, const std::vector<int64_t>& instants, size_t& next) {
    if (next >= instants.size()) return false;
    const int64_t at = frame.best_effort_timestamp;
    if (at == AV_NOPTS_VALUE) return ++next, true;
    if (at < instants[next]) return false;
    while (next < instants.size() && instants[next] <= at) ++next;
    return true;
}

void PosterTap::Consider(const AVFrame& frame) {
    std::optional<TPosterPicture> picture = PosterPictureOf(frame, source_, maxWidth_);
    if (!picture) return;
    if (!LooksBlank(*picture))
        chosen_ = std::move(picture);
    else if (!firstBlank_)
        firstBlank_ = std::move(picture);
}

void PosterTap::Receive(int, const AVFrame& frame) {
    if (chosen_) return;
    if (Reached(frame, tenths_, nextTenth_)) Consider(frame);
    if (chosen_) {
        last_.reset();
        return;
    }
    if (!fromStart_ && Reached(frame, firstSeconds_, nextSecond_))
        if (std::optional<TPosterPicture> picture = PosterPictureOf(frame, source_, maxWidth_);
            picture && !LooksBlank(*picture))
            fromStart_ = std::move(picture);
    if (last_ && nextTenth_ < tenths_.size()) {
        ff::av_frame_unref(last_.get());
        ff::av_frame_ref(last_.get(), &frame);
    }
}

void PosterTap::Finish() {
    // A stream that ends before an instant (a still picture, a duration that
    // promised more) gives its last picture.
    if (!chosen_ && nextTenth_ < tenths_.size() && last_ && last_->buf[0]) Consider(*last_);
    last_.reset();
    const std::optional<TPosterPicture>& picture = chosen_ ? chosen_ : fromStart_ ? fromStart_ : firstBlank_;
    if (!picture) return;
    shot_->jpeg = EncodePosterJpeg(*picture);
    shot_->width = picture->Width;
    shot_->height = picture->Height;
}

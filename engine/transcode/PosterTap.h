#pragma once
// The run's thumbnail grabber: takes the outputs' poster from the pictures
// the run decodes anyway, by the rule GrabPosterPicture follows on a file (a
// tenth of the way in, a later picture when that one is blank, the first
// seconds when all are), instead of decoding the input a second time. Only
// the few pictures at those instants are scaled.

#include <memory>
#include <optional>
#include <vector>

#include "FrameTap.h"
#include "LibraryHandles.h"
#include "PosterPicture.h"
#include "PosterStream.h"

class PosterTap : public FrameTap {
public:
    // `shot` is filled when the run ends, read once the tap is joined.
    PosterTap(const AVStream& source, int64_t fileDurationUs, int maxWidth, std::shared_ptr<TPosterShot> shot);
    bool Wants(const AVStream& stream) const override { return &stream == &source_; }

protected:
    void Receive(int stream, const AVFrame& frame) override;
    void Finish() override;

private:
    // Whether the frame is the first at or after the next of `instants`.
    static bool Reached(const AVFrame& frame, const std::vector<int64_t>& instants, size_t& next);
    void Consider(const AVFrame& frame);

    const AVStream& source_;
    int maxWidth_;
    std::vector<int64_t> tenths_;
    std::vector<int64_t> firstSeconds_;
    size_t nextTenth_ = 0;
    size_t nextSecond_ = 0;
    std::optional<TPosterPicture> chosen_;
    std::optional<TPosterPicture> fromStart_;
    std::optional<TPosterPicture> firstBlank_;
    TFramePtr last_;  // while an instant is still ahead: the stream may end first
    std::shared_ptr<TPosterShot> shot_;
};

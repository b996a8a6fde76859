#pragma once
// Decoded sound made into what an encoder takes: resampled to its rate, its
// channels mixed into the encoder's, converted to its sample format, and
// gathered into frames of the encoder's size. It owns its resampler and its
// queue of samples and knows only the plain values it was built with.

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include "LibraryHandles.h"

// A block of `samples` samples of the given rate, format and channels.
// Raises FFMpegException when memory runs out.
TFramePtr AllocateSamples(AVSampleFormat format, int sample_rate, const AVChannelLayout& layout, int samples);

class AudioConverter {
public:
    // Takes the encoder's rate, format, channels and frame size. With
    // `always_resample` ("async" above 1, which may ask the resampler to
    // stretch) the sound goes through a resampler even when nothing differs.
    AudioConverter(const AVCodecContext* encoder, bool always_resample);
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // Ready for sound like this block: a resampler is made when the rate,
    // the channels or the format differ, and made anew when the decoded
    // sound changes midway. Raises FFMpegException when it cannot be.
    void Follow(const AVFrame* frame);
    // Samples on their way to the encoder: queued, and inside the resampler.
    int64_t Queued() const;
    bool Resamples() const { return resampler_ != nullptr; }
    // Asks the resampler to stretch or squeeze by `samples` over `distance`.
    void Compensate(int samples, int distance);
    // Converts the block (none: what the resampler still holds) and queues
    // it. False when the resampler refused it.
    bool Convert(const AVFrame* frame);
    // The next frame for the encoder, or nullptr while too few samples wait;
    // when flushing also the rest, as a short frame or, for encoders that
    // take only whole frames, padded with silence. `samples` is the number
    // of real samples in it.
    TFramePtr NextFrame(bool flushing, int& samples);

private:
    const int sample_rate_;
    const AVSampleFormat format_;
    AVChannelLayout layout_{};
    const int frame_size_;
    const bool any_size_;    // codes sample by sample: takes everything at once
    const bool short_last_;  // takes a last frame shorter than the others
    bool always_resample_;
    TResamplerPtr resampler_;
    TAudioFifoPtr fifo_;
    // The sound the resampler was made for.
    int in_rate_ = 0;
    int in_channels_ = 0;
    int in_format_ = -1;
};

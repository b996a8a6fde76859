#include "LumaTrack.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryHandles.h"
#include "SwScaleHlpr.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

class LumaKeeper {
public:
    LumaKeeper(LumaTrack& track, int width, int height) : track_(track), width_(width), height_(height) {}

    void Keep(const AVFrame& frame) {
        const int width = width_ > 0 ? width_ : frame.width;
        const int height = height_ > 0 ? height_ : frame.height;
        track_.width = width;
        track_.height = height;
        std::vector<uint8_t> luma(static_cast<size_t>(width) * height);
        if (width == frame.width && height == frame.height) {
            for (int y = 0; y < height; ++y)
                std::copy_n(frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0], width,
                            luma.begin() + static_cast<ptrdiff_t>(y) * width);
        } else {
            Scale(frame, width, height, luma);
        }
        track_.lumas.push_back(std::move(luma));
    }

private:
    // Scaled into 4:2:0 planes as the engine scales pictures for its
    // encoders, so that the luma keeps the range the encoder sees (a grey
    // target would stretch limited-range luma to full range).
    void Scale(const AVFrame& frame, int width, int height, std::vector<uint8_t>& luma) {
        if (!scaler_)
            scaler_.reset(ff::sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), width,
                                             height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler_) throw std::runtime_error("cannot scale the source's pictures");
        const int chromaWidth = (width + 1) / 2;
        chroma_.resize(static_cast<size_t>(chromaWidth) * ((height + 1) / 2) * 2);
        uint8_t* planes[4] = {luma.data(), chroma_.data(), chroma_.data() + chroma_.size() / 2, nullptr};
        int strides[4] = {width, chromaWidth, chromaWidth, 0};
        ff::sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    }

    LumaTrack& track_;
    int width_;
    int height_;
    TScalerContextPtr scaler_;
    std::vector<uint8_t> chroma_;  // both chroma planes of a scaled picture, not compared
};

void RequireSameSize(const LumaTrack& source, const LumaTrack& converted) {
    if (source.width != converted.width || source.height != converted.height)
        throw std::runtime_error("the converted picture has another size");
}

double WindowSsim(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int stride, int left, int top) {
    constexpr double kC1 = (0.01 * 255) * (0.01 * 255);
    constexpr double kC2 = (0.03 * 255) * (0.03 * 255);
    double sumA = 0, sumB = 0, sumAA = 0, sumBB = 0, sumAB = 0;
    for (int y = top; y < top + 8; ++y)
        for (int x = left; x < left + 8; ++x) {
            const double va = a[static_cast<size_t>(y) * stride + x];
            const double vb = b[static_cast<size_t>(y) * stride + x];
            sumA += va;
            sumB += vb;
            sumAA += va * va;
            sumBB += vb * vb;
            sumAB += va * vb;
        }
    const double n = 64;
    const double meanA = sumA / n, meanB = sumB / n;
    const double varA = sumAA / n - meanA * meanA, varB = sumBB / n - meanB * meanB;
    const double covariance = sumAB / n - meanA * meanB;
    return ((2 * meanA * meanB + kC1) * (2 * covariance + kC2)) /
           ((meanA * meanA + meanB * meanB + kC1) * (varA + varB + kC2));
}

}  // namespace

LumaTrack DecodeLuma(const std::string& path, int width, int height) {
    AVFormatContext* opened = nullptr;
    if (ff::avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + path);
    TInputContextPtr input(opened);
    if (ff::avformat_find_stream_info(input.get(), nullptr) < 0) throw std::runtime_error("cannot read " + path);
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i)
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) index = static_cast<int>(i);
    if (index < 0) throw std::runtime_error("no video in " + path);
    const AVStream* stream = input->streams[index];
    const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
    TCodecContextPtr decoder(ff::avcodec_alloc_context3(codec));
    if (!decoder || ff::avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
        ff::avcodec_open2(decoder.get(), codec, nullptr) < 0)
        throw std::runtime_error("cannot decode " + path);
    TPacketPtr packet(ff::av_packet_alloc());
    TFramePtr frame(ff::av_frame_alloc());
    LumaTrack track;
    LumaKeeper keeper(track, width, height);
    auto drain = [&] {
        while (ff::avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            keeper.Keep(*frame);
            ff::av_frame_unref(frame.get());
        }
    };
    while (ff::av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && ff::avcodec_send_packet(decoder.get(), packet.get()) >= 0) drain();
        ff::av_packet_unref(packet.get());
    }
    ff::avcodec_send_packet(decoder.get(), nullptr);
    drain();
    return track;
}

double LumaPsnr(const LumaTrack& source, const LumaTrack& converted) {
    RequireSameSize(source, converted);
    const size_t count = std::min(source.lumas.size(), converted.lumas.size());
    double squared = 0;
    double samples = 0;
    for (size_t i = 0; i < count; ++i) {
        for (size_t j = 0; j < source.lumas[i].size(); ++j) {
            const double d = static_cast<double>(source.lumas[i][j]) - converted.lumas[i][j];
            squared += d * d;
        }
        samples += static_cast<double>(source.lumas[i].size());
    }
    if (samples == 0) return 0;
    const double mse = squared / samples;
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

double LumaSsim(const LumaTrack& source, const LumaTrack& converted) {
    RequireSameSize(source, converted);
    const size_t count = std::min(source.lumas.size(), converted.lumas.size());
    double sum = 0;
    double windows = 0;
    for (size_t i = 0; i < count; ++i)
        for (int top = 0; top + 8 <= source.height; top += 4)
            for (int left = 0; left + 8 <= source.width; left += 4) {
                sum += WindowSsim(source.lumas[i], converted.lumas[i], source.width, left, top);
                ++windows;
            }
    return windows > 0 ? sum / windows : 0;
}

// How closely converted video keeps to the chosen bit rate, and what that
// costs in picture quality. Converts generated 320x240 clips, easy (a moving
// pattern) and hard (the same under heavy grain), of 10 and 60 seconds, at
// every profile's video rate, once with the job the window builds and once
// with the bit rate alone (the encoder's own tolerance and key-frame interval,
// no rate-control buffer), and prints per conversion the average video bit rate against the
// target, the largest amount sent in any one second, and the PSNR of the
// luma against the source. The clips are written once into the folder
// (default: the system's temporary folder) and reused.
//
// Usage: rate_control_benchmark [FOLDER]

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "JobBuilder.h"
#include "LibraryHandles.h"
#include "MediaWriter.h"
#include "TaskOptions.h"
#include "TestMedia.h"
#include "VideoRate.h"

namespace {

constexpr int kGrain = 48;

std::string Prepare(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string path = (folder / clip.fileName).string();
    if (std::filesystem::exists(path)) return path;
    std::printf("writing %s ...\n", path.c_str());
    std::fflush(stdout);
    try {
        WriteTestClip(clip, path);
    } catch (...) {
        std::filesystem::remove(path);
        throw;
    }
    return path;
}

void Convert(const std::string& input, const TOutputOptions& options) {
    TCustomFFmpeg engine;
    engine.Initialize();
    engine.SetVerbose(-1);
    try {
        TInputOptions inputOptions;
        ApplyInputOptions(engine, inputOptions);
        engine.OpenInputFile(input);
        ApplyOutputOptions(engine, options);
        engine.OpenOutputFile(options.FileName);
        engine.Transcode();
    } catch (...) {
        engine.CleanUp();
        throw;
    }
    engine.CleanUp();
}

// The decoded luma planes of a file's video, in decoding order.
struct VideoTrack {
    std::vector<std::vector<uint8_t>> lumas;  // width x height each
    int width = 0;
    int height = 0;
};

void KeepLuma(const AVFrame& frame, VideoTrack& track) {
    track.width = frame.width;
    track.height = frame.height;
    std::vector<uint8_t> luma(static_cast<size_t>(frame.width) * frame.height);
    for (int y = 0; y < frame.height; ++y)
        std::copy_n(frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0], frame.width,
                    luma.begin() + static_cast<ptrdiff_t>(y) * frame.width);
    track.lumas.push_back(std::move(luma));
}

VideoTrack DecodeLuma(const std::string& path) {
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
    VideoTrack track;
    auto drain = [&] {
        while (ff::avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            KeepLuma(*frame, track);
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

// PSNR of the luma over every picture, from the mean squared error of all.
double LumaPsnr(const VideoTrack& source, const VideoTrack& converted) {
    if (source.width != converted.width || source.height != converted.height)
        throw std::runtime_error("the converted picture has another size");
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

struct Variant {
    const char* name;
    bool jobRateControl;  // the job's rate-control settings, or the bit rate alone
};
constexpr Variant kVariants[] = {{"bit rate alone", false}, {"job", true}};

void Measure(const std::string& source, const std::filesystem::path& folder, const char* content,
             int64_t durationUs) {
    const VideoTrack original = DecodeLuma(source);
    for (const TOutputProfile& profile : OutputProfiles()) {
        const int32_t kbps = profile.VideoBitrateKbps;
        for (const Variant& variant : kVariants) {
            TConversionSettings settings;
            settings.VideoBitrateKbps = kbps;
            settings.FrameSize = "320x240";
            settings.FrameRate = "30";
            const std::string output = (folder / "rate_control_out.mp4").string();
            TOutputOptions options = BuildOutputOptions(settings, output);
            if (!variant.jobRateControl) {
                options.VideoMaxRate = -1;
                options.VideoBufferSize = -1;
                options.VideoBitrateTolerance = -1;
                options.GopSize = -1;
            }
            Convert(source, options);
            const VideoRate rate = MeasureVideoRate(output);
            const VideoTrack converted = DecodeLuma(output);
            std::printf("%-5s %3llds %5d kbit/s  %-14s  average %7.1f kbit/s (%+6.1f %%)  peak %7.1f kbit/s  "
                        "PSNR %.2f dB\n",
                        content, static_cast<long long>(durationUs / 1000000), kbps, variant.name,
                        rate.averageBitRate / 1000, (rate.averageBitRate / (kbps * 1000.0) - 1) * 100,
                        rate.peakBitRate / 1000, LumaPsnr(original, converted));
            std::fflush(stdout);
            std::filesystem::remove(output);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::filesystem::path folder =
            argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "tovrela-rate";
        std::filesystem::create_directories(folder);
        BindTestLibraries();
        struct Source {
            const char* content;
            const char* name;
            int64_t durationUs;
            int grain;
        };
        const Source sources[] = {{"easy", "rate_easy_10s.avi", 10000000, 0},
                                  {"hard", "rate_hard_10s.avi", 10000000, kGrain},
                                  {"easy", "rate_easy_60s.avi", 60000000, 0},
                                  {"hard", "rate_hard_60s.avi", 60000000, kGrain}};
        for (const Source& source : sources) {
            const std::string path = Prepare(IpodSizedClip(source.name, source.durationUs, source.grain), folder);
            Measure(path, folder, source.content, source.durationUs);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rate_control_benchmark: %s\n", error.what());
        return 1;
    }
}

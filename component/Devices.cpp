#include "Devices.h"

#include "AVCodecHlpr.h"

namespace {

// MPEG-4 Simple Profile: levels 1, 2, 3 and 4a (which the header writes as
// 4), each with its picture size, rate and buffer; the iPod takes at most
// 2.5 Mbit/s of the 4 that level 4a allows.
constexpr TDeviceLevel kMpeg4SimpleLevels[] = {
    {1, 176, 144, 64000, 163840, 0},
    {2, 352, 288, 128000, 655360, 0},
    {3, 352, 288, 384000, 655360, 0},
    {4, 640, 480, 2500000, 1310720, 0},
};

// The iPod classic and nano play H.264 Baseline level 1.3 up to 320x240 and
// the "low-complexity" level 3.0 (one reference picture) up to 640x480 and
// 1.5 Mbit/s.
constexpr TDeviceLevel kIpodH264Levels[] = {
    {13, 320, 240, 768000, 2000000, 0},
    {30, 640, 480, 1500000, 10000000, 1},
};

constexpr TDeviceLevel kIphoneH264Levels[] = {
    {30, 640, 480, 2500000, 10000000, 0},
};

// MPEG-2 Main Profile at Low Level (written as 10): up to 352x288 and 4 Mbit/s.
constexpr TDeviceLevel kRockboxLevels[] = {
    {10, 320, 240, 4000000, 475136, 0},
};

// MPEG-1 Layer II knows these rates only, at 32, 44.1 and 48 kHz.
constexpr int kLayer2RatesKbps[] = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};

constexpr const char* kIpodExtensions[] = {".mp4", ".m4v", ".mov"};
constexpr const char* kMpegExtensions[] = {".mpg", ".mpeg"};

// Baseline Profile only: x264 writes the lowest profile its tools need, and
// without B-frames, CABAC, the 8x8 transform and weighted prediction that
// is Baseline.
constexpr char kBaselineOptions[] = "x264-params=bframes=0:cabac=0:8x8dct=0:weightp=0\n";

// The best picture per bit that costs at most 30 % more wall time for a
// whole conversion (see the quality benchmark). MPEG-4 within Simple
// Profile: four motion vectors per macroblock, found with the encoder's
// first shape-adaptive diamond (-1): 0.5 dB on flat cartoon-like pictures,
// 0.4 dB on grainy ones, 1.7 dB on a DVD's, for a tenth more CPU time. A
// wider plain diamond (size 3) gained as much but cost three tenths more,
// because each of the four vectors searches it. Macroblock modes chosen by
// rate and distortion gained little more and left the rate further under
// its target at the top of the range; comparing by the transformed
// difference (SATD) lost 1 dB on the DVD's pictures; trellis quantisation
// cost half again the time. Easy pictures at 768 kbit/s and more stay under
// the rate at the encoder's finest quantiser (2); allowing 1 lost 0.3 dB at
// 512 kbit/s.
constexpr char kMpeg4Quality[] = "flags=+mv4\ndia_size=-1\n";
// H.264: x264's own default preset, without a tuning; the slower presets
// gained at most 0.4 dB for twice the encoder's time, while key frames two
// seconds apart instead of one (the rows' key-frame interval) gained 0.4 to
// 1.8 dB for no time. Without the macroblock tree (which gives the parts of
// a picture that later pictures copy more bits) the average keeps to the
// target on flat, easy pictures, where it stayed up to 12 % under, and the
// picture is as good (0.3 dB better on cartoon-like pictures).
constexpr char kH264Quality[] = "preset=medium\nmbtree=0\n";
// MPEG-2 at low rates and with a key frame every 15 pictures: the
// non-linear quantiser scale reaches coarser steps (at most 28, which is 88),
// and the finest step lets easy pictures at high rates use their bits.
constexpr char kMpeg2Quality[] = "non_linear_quant=1\nqmax=28\nqmin=1\nlmin=118\n";

// The encoder writes a level only beside a profile: Main (4).
constexpr char kMpeg2MainOptions[] = "profile=4\n";

// x264 needs the larger buffer: held to a tenth of a second, and so aiming
// at 92 % of 1.5 Mbit/s, it sent 13 to 20 % less; along every split of the
// 1.5 Mbit/s between its aim and the buffer it stayed 11 to 18 % under 1.5
// Mbit/s, and with a sixth of a second (86 %) it keeps within 5 % of its aim.
constexpr double kTopRateShare = 0.92;
constexpr double kH264TopRateShare = 0.86;
// At its coarsest step and with a key frame every 15 pictures, MPEG-2 at
// 320x240 sends about 197 kbit/s of grainy pictures whatever lower rate it
// is asked for: 180 kbit/s is the lowest it keeps within a tenth of, and
// this leaves a little room.
constexpr int32_t kMpeg2MinBitRate = 184000;

// iPods play the encoder's perceptual noise substitution as crackle and hiss,
// so it is turned off. The encoder's other defaults stay within AAC-LC as
// the devices play it: the LC object type, no prediction (a Main-profile
// tool) and no long-term prediction; its intensity stereo, mid/side stereo
// and temporal noise shaping are LC tools.
constexpr char kAacOptions[] = "aac_pns=0\n";

// Seconds of film converted in a second (see TDevice), measured by
// bench/sync_estimate_benchmark --speeds on this project's two-core build
// machine while other work shared it.
constexpr double kSpeedMpeg4 = 20.5;
constexpr double kSpeedIpodH264 = 6.3;
constexpr double kSpeedIphone = 5.4;
constexpr double kSpeedMpeg2 = 29.2;

constexpr TDevice kDevices[] = {
    {"iPod (any model with video)", "ipod", "iPod",
     "mpeg4", AV_CODEC_ID_MPEG4, FF_PROFILE_MPEG4_SIMPLE, kMpeg4SimpleLevels, "", kMpeg4Quality, 30.0, 30, 0, kTopRateShare,
     "libfaac", AV_CODEC_ID_AAC, FF_PROFILE_AAC_LOW, kAacOptions, 160000, {}, 8000, 48000, 2,
     "ipod", ".mp4", "mp4", kIpodExtensions, false, "ipod-h264", false, kSpeedMpeg4},
    {"iPod classic, nano (3rd\u20135th generation), iPod video 5G/5.5G", "ipod-h264", "iPod",
     "libx264", AV_CODEC_ID_H264, FF_PROFILE_H264_BASELINE, kIpodH264Levels, kBaselineOptions, kH264Quality, 30.0, 60, 0, kH264TopRateShare,
     "libfaac", AV_CODEC_ID_AAC, FF_PROFILE_AAC_LOW, kAacOptions, 160000, {}, 8000, 48000, 2,
     "ipod", ".m4v", "mp4", kIpodExtensions, true, "ipod", true, kSpeedIpodH264},
    {"iPod touch, iPhone", "iphone", "iPhone",
     "libx264", AV_CODEC_ID_H264, FF_PROFILE_H264_BASELINE, kIphoneH264Levels, kBaselineOptions, kH264Quality, 30.0, 60, 0, kH264TopRateShare,
     "libfaac", AV_CODEC_ID_AAC, FF_PROFILE_AAC_LOW, kAacOptions, 160000, {}, 8000, 48000, 2,
     "ipod", ".m4v", "mp4", kIpodExtensions, true, "ipod", true, kSpeedIphone},
    {"Rockbox (MPEG player)", "rockbox", "Rockbox",
     "mpeg2video", AV_CODEC_ID_MPEG2VIDEO, FF_PROFILE_UNKNOWN, kRockboxLevels, kMpeg2MainOptions, kMpeg2Quality, 30.0, 15, kMpeg2MinBitRate, kTopRateShare,
     "mp2", AV_CODEC_ID_MP2, FF_PROFILE_UNKNOWN, "", 384000, kLayer2RatesKbps, 32000, 48000, 2,
     "vob", ".mpg", "mpeg", kMpegExtensions, false, nullptr, false, kSpeedMpeg2},
};

std::string MissingEncoder(const char* encoder, const char* what) {
    // The job asks for "libfaac" and the engine takes the libraries' own AAC
    // encoder in its place.
    if (ff::avcodec_find_encoder_by_name(encoder)) return "";
    if (std::string(encoder) == "libfaac" && ff::avcodec_find_encoder_by_name("aac")) return "";
    return std::string("the FFmpeg libraries have no ") + what + " encoder (" + encoder + ")";
}

const char* CodecWords(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_H264: return "H.264";
        case AV_CODEC_ID_MPEG4: return "MPEG-4";
        case AV_CODEC_ID_MPEG2VIDEO: return "MPEG-2";
        case AV_CODEC_ID_AAC: return "AAC";
        case AV_CODEC_ID_MP2: return "MPEG audio";
        default: return "needed";
    }
}

}  // namespace

std::span<const TDevice> Devices() { return kDevices; }

const TDevice& DeviceAt(size_t index) {
    return index < std::size(kDevices) ? kDevices[index] : kDevices[kDefaultDeviceIndex];
}

std::optional<size_t> FindDevice(const std::string& shortName) {
    for (size_t index = 0; index < std::size(kDevices); ++index)
        if (shortName == kDevices[index].ShortName) return index;
    return std::nullopt;
}

std::string DeviceShortNames() {
    std::string names;
    for (const TDevice& device : kDevices) names += (names.empty() ? "" : ", ") + std::string(device.ShortName);
    return names;
}

std::string DeviceUnavailableReason(const TDevice& device) {
    // Unbound libraries cannot tell yet.
    if (!ff::avcodec_find_encoder_by_name) return "";
    std::string reason = MissingEncoder(device.VideoEncoder, CodecWords(device.VideoCodec));
    if (reason.empty()) reason = MissingEncoder(device.AudioEncoder, CodecWords(device.AudioCodec));
    return reason;
}

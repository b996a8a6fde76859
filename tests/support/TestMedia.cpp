#include "TestMedia.h"

#include <algorithm>
#include <stdexcept>

#include "LibraryBinding.h"

namespace {

using enum TestStreamKind;
constexpr TestStreamKind kVideoAudio[] = {Video, Audio};
constexpr TestStreamKind kAudioVideo[] = {Audio, Video};
constexpr TestStreamKind kAudioOnly[] = {Audio};
constexpr TestStreamKind kVideoOnly[] = {Video};
constexpr TestStreamKind kWithSubtitle[] = {Video, Audio, Subtitle};
constexpr TestStreamKind kAudioThenTwoVideos[] = {Audio, Video, Video};

// The RIFF INFO list of AVI has no album; QuickTime's user data has no track.
constexpr TestTag kAviTags[] = {kTestTags[0], kTestTags[1], kTestTags[2], kTestTags[3],
                                kTestTags[5], kTestTags[6], kTestTags[7]};
constexpr TestTag kQuickTimeTags[] = {kTestTags[0], kTestTags[1], kTestTags[2], kTestTags[3],
                                      kTestTags[4], kTestTags[5], kTestTags[7]};

// LAME primes with 1105 samples, the AC-3 encoder with 256.
constexpr int64_t kLamePrimingUs44100 = 1105 * int64_t{1000000} / 44100;
constexpr int64_t kLamePrimingUs22050 = 1105 * int64_t{1000000} / 22050;
constexpr int64_t kAc3PrimingUs44100 = 256 * int64_t{1000000} / 44100;

// The marks fall on whole frames: the 15th and 45th at NTSC's 30000/1001,
// the 13th and 38th at PAL's 25.
constexpr int64_t kNtscMarkTimesUs[] = {500500, 1501500};
constexpr int64_t kPalMarkTimesUs[] = {520000, 1520000};

// Values the codecs refuse are avoided here: 176x144 suits every encoder,
// including those that need multiples of 16; 24 frames per second is a rate
// MPEG-1/2 allow and puts both marks on whole frames; the SWF muxer takes MP3
// at 44100 Hz; VCD takes MP2 at 44100 Hz, and its muxer pads the stream for
// the standard 1150 kbit/s of video (a lower rate underflows its buffers).
const TestClip kClips[] = {
    {.fileName = "avi_mpeg4_mp3.avi", .muxer = "avi", .videoEncoder = "mpeg4", .audioEncoder = "libmp3lame",
     .streams = kVideoAudio, .tags = kAviTags, .audioLagUs = kLamePrimingUs44100},
    {.fileName = "divx_msmpeg4_mp3.divx", .muxer = "avi", .videoEncoder = "msmpeg4", .videoTag = "DIV3",
     .audioEncoder = "libmp3lame", .streams = kVideoAudio, .audioLagUs = kLamePrimingUs44100},
    {.fileName = "xvid_mpeg4_mp3.xvid", .muxer = "avi", .videoEncoder = "mpeg4", .videoTag = "XVID",
     .audioEncoder = "libmp3lame", .streams = kVideoAudio, .audioLagUs = kLamePrimingUs44100},
    {.fileName = "mpeg_ps_mpeg2_mp2.mpg", .muxer = "mpeg", .videoEncoder = "mpeg2video", .audioEncoder = "mp2",
     .maxBFrames = 2, .audioBitRate = 192000, .streams = kVideoAudio},
    {.fileName = "wmv_wmv2_wmav2.wmv", .muxer = "asf", .videoEncoder = "wmv2", .audioEncoder = "wmav2",
     .streams = kVideoAudio, .tags = kTestTags},
    {.fileName = "asf_msmpeg4_wmav2.asf", .muxer = "asf", .videoEncoder = "msmpeg4", .audioEncoder = "wmav2",
     .streams = kVideoAudio},
    {.fileName = "rm_rv10_ac3.rm", .muxer = "rm", .videoEncoder = "rv10", .audioEncoder = "ac3",
     .audioBitRate = 192000, .streams = kVideoAudio, .audioLagUs = kAc3PrimingUs44100},
    {.fileName = "vcd_mpeg1_mp2.dat", .muxer = "vcd", .videoEncoder = "mpeg1video", .audioEncoder = "mp2",
     .videoBitRate = 1150000, .audioBitRate = 224000, .streams = kVideoAudio},
    {.fileName = "mov_mpeg4_aac.mov", .muxer = "mov", .videoEncoder = "mpeg4", .audioEncoder = "aac",
     .maxBFrames = 2, .streams = kVideoAudio, .tags = kQuickTimeTags},
    // SWF declares its sound stream in the file header, ahead of any video,
    // so readers see the audio first. Its demuxer reads neither the frame
    // count nor a bit rate, so it cannot tell the duration.
    {.fileName = "swf_flv1_mp3.swf", .muxer = "swf", .videoEncoder = "flv", .audioEncoder = "libmp3lame",
     .streams = kAudioVideo, .containerKnowsDuration = false, .audioLagUs = kLamePrimingUs44100},
    {.fileName = "audio_only.mp3", .muxer = "mp3", .audioEncoder = "libmp3lame", .streams = kAudioOnly,
     .tags = kTestTags},
    {.fileName = "video_only.avi", .muxer = "avi", .videoEncoder = "mpeg4", .streams = kVideoOnly},
    {.fileName = "subtitle_track.mkv", .muxer = "matroska", .videoEncoder = "mpeg4", .audioEncoder = "libmp3lame",
     .streams = kWithSubtitle, .tags = kTestTags},
    // MPEG-4 part 2 takes odd sizes; the chroma planes round up.
    {.fileName = "odd_size.avi", .muxer = "avi", .videoEncoder = "mpeg4", .audioEncoder = "libmp3lame",
     .width = 175, .height = 99, .streams = kVideoAudio, .audioLagUs = kLamePrimingUs44100},
    {.fileName = "mono_22050.avi", .muxer = "avi", .videoEncoder = "mpeg4", .audioEncoder = "libmp3lame",
     .sampleRate = 22050, .channels = 1, .audioBitRate = 64000, .streams = kVideoAudio,
     .audioLagUs = kLamePrimingUs22050},
    {.fileName = "surround_48000.mov", .muxer = "mov", .videoEncoder = "mpeg4", .audioEncoder = "aac",
     .sampleRate = 48000, .channels = 6, .audioBitRate = 384000, .streams = kVideoAudio},
    {.fileName = "audio_then_two_videos.mkv", .muxer = "matroska", .videoEncoder = "mpeg4",
     .audioEncoder = "libmp3lame", .streams = kAudioThenTwoVideos},
};

// A DVD's MPEG-2 at full NTSC size with AC-3; DV as a PAL camcorder writes
// it (its only size and rate, sound as 48 kHz PCM); a phone's H.264 and AAC,
// recorded upright and stored sideways with the turn in the display matrix.
const TestClip kForeignClips[] = {
    kClips[0],
    {.fileName = "dvd_mpeg2_ac3.vob", .muxer = "vob", .videoEncoder = "mpeg2video", .audioEncoder = "ac3",
     .width = 720, .height = 480, .frameRateNum = 30000, .frameRateDen = 1001, .maxBFrames = 2,
     .videoBitRate = 6000000, .sampleRate = 48000, .audioBitRate = 192000, .markTimesUs = kNtscMarkTimesUs,
     .streams = kVideoAudio},
    {.fileName = "phone_h264_aac_turned.mp4", .muxer = "mp4", .videoEncoder = "libx264", .audioEncoder = "aac",
     .width = 640, .height = 480, .frameRateNum = 30, .videoBitRate = 2000000, .sampleRate = 48000,
     .streams = kVideoAudio, .turned = true},
    {.fileName = "camcorder_pal.dv", .muxer = "dv", .videoEncoder = "dvvideo", .audioEncoder = "pcm_s16le",
     .width = 720, .height = 576, .frameRateNum = 25, .sampleRate = 48000, .markTimesUs = kPalMarkTimesUs,
     .streams = kVideoAudio},
    kClips[4],
    kClips[6],
};

}  // namespace

int TestClip::CountOf(TestStreamKind kind) const {
    return static_cast<int>(std::count(streams.begin(), streams.end(), kind));
}

int TestClip::FirstOf(TestStreamKind kind) const {
    auto found = std::find(streams.begin(), streams.end(), kind);
    return found == streams.end() ? -1 : static_cast<int>(found - streams.begin());
}

int64_t TestClip::FrameDurationUs() const {
    if (!HasVideo()) return 1024 * int64_t{1000000} / sampleRate;
    return int64_t{1000000} * frameRateDen / frameRateNum;
}

std::string TestClip::Tag(const std::string& key) const {
    for (const TestTag& tag : tags)
        if (key == tag.key) return tag.value;
    return "";
}

TestClip IpodSizedClip(const char* fileName, int64_t durationUs, int grain) {
    return {.fileName = fileName, .muxer = "avi", .videoEncoder = "mpeg4", .width = 320, .height = 240,
            .frameRateNum = 30, .videoBitRate = 8000000, .durationUs = durationUs, .markTimesUs = {},
            .streams = kVideoOnly, .grain = grain};
}

std::span<const TestClip> TestClips() { return kClips; }

std::span<const TestClip> ForeignMuxerClips() { return kForeignClips; }

const TestClip& FindTestClip(const std::string& fileName) {
    for (const TestClip& clip : kClips)
        if (fileName == clip.fileName) return clip;
    throw std::out_of_range("no test clip named " + fileName);
}

std::string TestMediaPath(const std::string& fileName) {
    return std::string(TOVRELA_TEST_MEDIA_DIR) + "/" + fileName;
}

void BindTestLibraries() {
    if (!BindLibraries("", true)) throw std::runtime_error(BindErrorText());
}

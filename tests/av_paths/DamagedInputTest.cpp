// Damaged and unusual inputs converted with the window's iPod settings: the
// process survives, the status is right, every picture is kept, flashes and
// beeps stay together, nothing clips, and a file that yields nothing fails
// and leaves nothing behind.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "AviChunks.h"
#include "ConvertedFile.h"
#include "LibraryBinding.h"
#include "LibraryHandles.h"
#include "MediaWriter.h"
#include "TestMedia.h"
#include "TranscodeTask.h"

namespace {

using enum TestStreamKind;
constexpr TestStreamKind kVideoAudio[] = {Video, Audio};
constexpr TestStreamKind kVideoOnly[] = {Video};
constexpr int64_t kLongMarks[] = {500000, 3500000, 6500000, 9250000};
constexpr int64_t kLateMark[] = {7000000};
constexpr int64_t kAroundHole[] = {500000, 4500000};
constexpr int64_t kSyncToleranceUs = 40000;

std::string Written(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string path = (folder / clip.fileName).string();
    WriteTestClip(clip, path);
    return path;
}

// Fills the payload of video chunks [first, last) with zeros: pictures no
// decoder can make anything of.
void ZeroVideoChunks(const std::string& path, int first, int last) {
    std::vector<uint8_t> file = ReadWholeFile(path);
    int index = 0;
    for (const AviChunk& chunk : AviChunks(file))
        if (chunk.id == "00dc") {
            if (index >= first && index < last) std::memset(&file[chunk.offset], 0, chunk.size);
            ++index;
        }
    WriteWholeFile(path, file);
}

// Declares the audio stream the way muxers of the DivX era wrote variable-rate
// MP3: timed by byte count at the average byte rate.
void ClockAudioByBytes(const std::string& path, int64_t durationUs) {
    std::vector<uint8_t> file = ReadWholeFile(path);
    const std::vector<AviChunk> chunks = AviChunks(file);
    uint64_t bytes = 0;
    for (const AviChunk& chunk : chunks)
        if (chunk.id == "01wb") bytes += chunk.size;
    const auto rate = static_cast<uint32_t>(bytes * 1000000 / static_cast<uint64_t>(durationUs));
    bool audio = false;
    for (const AviChunk& chunk : chunks) {
        if (chunk.id == "strh") {
            audio = std::memcmp(&file[chunk.offset], "auds", 4) == 0;
            if (!audio) continue;
            WriteLe32(file, chunk.offset + 20, 1);  // dwScale
            WriteLe32(file, chunk.offset + 24, rate);
            WriteLe32(file, chunk.offset + 32, static_cast<uint32_t>(bytes));  // dwLength
            WriteLe32(file, chunk.offset + 44, 1);  // dwSampleSize
        } else if (chunk.id == "strf" && audio) {
            WriteLe32(file, chunk.offset + 8, rate);  // nAvgBytesPerSec
            WriteLe16(file, chunk.offset + 12, 1);    // nBlockAlign
        }
    }
    WriteWholeFile(path, file);
}

// A sound header that claims one sample a second: hours of sound in a few
// kilobytes.
void ClaimOneSamplePerSecond(const std::string& path) {
    std::vector<uint8_t> file = ReadWholeFile(path);
    bool audio = false;
    for (const AviChunk& chunk : AviChunks(file)) {
        if (chunk.id == "strh") audio = std::memcmp(&file[chunk.offset], "auds", 4) == 0;
        if (chunk.id == "strf" && audio) WriteLe32(file, chunk.offset + 4, 1);  // nSamplesPerSec
    }
    WriteWholeFile(path, file);
}

std::vector<uint8_t> PngPicture() {
    const AVCodec* codec = ff::avcodec_find_encoder(AV_CODEC_ID_PNG);
    TCodecContextPtr encoder(ff::avcodec_alloc_context3(codec));
    encoder->width = encoder->height = 16;
    encoder->pix_fmt = AV_PIX_FMT_RGB24;
    encoder->time_base = AVRational{1, 1};
    {
        std::lock_guard lock(CodecLock());
        if (ff::avcodec_open2(encoder.get(), codec, nullptr) < 0) throw std::runtime_error("no PNG encoder");
    }
    TFramePtr frame(ff::av_frame_alloc());
    frame->width = frame->height = 16;
    frame->format = AV_PIX_FMT_RGB24;
    if (ff::av_frame_get_buffer(frame.get(), 0) < 0) throw std::runtime_error("no picture");
    std::memset(frame->data[0], 0x80, static_cast<size_t>(frame->linesize[0]) * 16);
    TPacketPtr packet(ff::av_packet_alloc());
    if (ff::avcodec_send_frame(encoder.get(), frame.get()) < 0 ||
        ff::avcodec_receive_packet(encoder.get(), packet.get()) < 0)
        throw std::runtime_error("PNG encoding failed");
    return std::vector<uint8_t>(packet->data, packet->data + packet->size);
}

// An ID3v2.3 tag holding a front cover, put in front of an MP3 file, as
// music shops deliver them.
std::string WithCoverPicture(const std::filesystem::path& folder) {
    std::vector<uint8_t> body = {0};  // text encoding
    for (const char c : std::string("image/png")) body.push_back(static_cast<uint8_t>(c));
    body.insert(body.end(), {0, 3, 0});  // end of type, front cover, empty description
    const std::vector<uint8_t> png = PngPicture();
    body.insert(body.end(), png.begin(), png.end());
    std::vector<uint8_t> frame = {'A', 'P', 'I', 'C'};
    for (int shift = 24; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(body.size() >> shift));
    frame.insert(frame.end(), {0, 0});
    frame.insert(frame.end(), body.begin(), body.end());
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<uint8_t>((frame.size() >> shift) & 0x7F));
    tag.insert(tag.end(), frame.begin(), frame.end());
    const std::vector<uint8_t> mp3 = ReadWholeFile(TestMediaPath("audio_only.mp3"));
    tag.insert(tag.end(), mp3.begin(), mp3.end());
    const std::string path = (folder / "covered.mp3").string();
    WriteWholeFile(path, tag);
    return path;
}

// What a kind of input is, how to make it, and what its conversion must give.
struct DamagedInput {
    const char* name;
    TestClip clip;  // written first when it has a muxer
    std::string (*make)(const TestClip& clip, const std::filesystem::path& folder);
    const char* failure = nullptr;  // the message the task must end with, nullptr when it converts
    bool video = true;
    int64_t pictures = -1;  // exact count of decoded pictures, -1 when unchecked
    bool inStep = false;    // beeps on their flashes, as the clip was made, and the duration kept
    double minPeak = 0;
    double maxPeak = 1;
};

std::string WriteOnly(const TestClip& clip, const std::filesystem::path& folder) { return Written(clip, folder); }

std::string VideoLostUntilLateMark(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string path = Written(clip, folder);
    ZeroVideoChunks(path, 0, 156);  // the first 6.5 s
    return path;
}

std::string AllVideoLost(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string path = Written(clip, folder);
    ZeroVideoChunks(path, 0, 1 << 30);
    return path;
}

std::string ByteClocked(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string path = Written(clip, folder);
    ClockAudioByBytes(path, clip.durationUs);
    return path;
}

std::string OneSamplePerSecond(const TestClip& clip, const std::filesystem::path& folder) {
    const std::string path = Written(clip, folder);
    ClaimOneSamplePerSecond(path);
    return path;
}

std::string CoverArt(const TestClip&, const std::filesystem::path& folder) { return WithCoverPicture(folder); }

std::string Existing(const TestClip& clip, const std::filesystem::path&) { return TestMediaPath(clip.fileName); }

constexpr int64_t kLame44100Us = 1105 * int64_t{1000000} / 44100;
constexpr int64_t kLame22050Us = 1105 * int64_t{1000000} / 22050;

const DamagedInput kInputs[] = {
    {.name = "VideoFormatUnknownAfterAnalysis",
     .clip = {.fileName = "cut.avi", .muxer = "avi", .videoEncoder = "mpeg4", .audioEncoder = "libmp3lame",
              .durationUs = 8000000, .markTimesUs = kLateMark, .streams = kVideoAudio,
              .audioLagUs = kLame44100Us},
     .make = VideoLostUntilLateMark},
    {.name = "NothingDecodes",
     .clip = {.fileName = "void.avi", .muxer = "avi", .videoEncoder = "mpeg4", .streams = kVideoOnly},
     .make = AllVideoLost,
     .failure = "nothing could be decoded"},
    {.name = "ImplausibleSampleRate",
     .clip = {.fileName = "one_hertz.avi", .muxer = "avi", .videoEncoder = "mpeg4", .audioEncoder = "pcm_s16le",
              .streams = kVideoAudio},
     .make = OneSamplePerSecond,
     .failure = "sound at 1 Hz cannot be converted"},
    {.name = "OnePicture",
     .clip = {.fileName = "one.avi", .muxer = "avi", .videoEncoder = "mpeg4", .durationUs = 41667,
              .markTimesUs = {}, .streams = kVideoOnly},
     .make = WriteOnly,
     .pictures = 1},
    {.name = "PaletteVideo",
     .clip = {.fileName = "palette.avi", .muxer = "avi", .videoEncoder = "rawvideo", .streams = kVideoOnly,
              .pixelFormat = "pal8"},
     .make = WriteOnly},
    {.name = "CoverPicture", .clip = FindTestClip("audio_only.mp3"), .make = CoverArt, .video = false},
    {.name = "LoudSurround",
     .clip = {.fileName = "loud51.mov", .muxer = "mov", .videoEncoder = "mpeg4", .audioEncoder = "aac",
              .sampleRate = 48000, .channels = 6, .audioBitRate = 384000, .streams = kVideoAudio,
              .beepAmplitude = 0.8},
     .make = WriteOnly,
     .minPeak = 0.6},
    {.name = "MonoKeepsItsLevel", .clip = FindTestClip("mono_22050.avi"), .make = Existing, .minPeak = 0.45,
     .maxPeak = 0.6},
    {.name = "ByteClockedStereoMp3",
     .clip = {.fileName = "vbr_stereo.avi", .muxer = "avi", .videoEncoder = "mpeg4", .audioEncoder = "libmp3lame",
              .durationUs = 10000000, .markTimesUs = kLongMarks, .streams = kVideoAudio,
              .audioLagUs = kLame44100Us, .audioQuality = 6},
     .make = ByteClocked,
     .inStep = true},
    {.name = "ByteClockedMonoMp3",
     .clip = {.fileName = "vbr_mono.avi", .muxer = "avi", .videoEncoder = "mpeg4", .audioEncoder = "libmp3lame",
              .sampleRate = 22050, .channels = 1, .durationUs = 10000000, .markTimesUs = kLongMarks,
              .streams = kVideoAudio, .audioLagUs = kLame22050Us, .audioQuality = 6},
     .make = ByteClocked,
     .inStep = true},
    {.name = "OneSecondHoleInTheSound",
     .clip = {.fileName = "hole.mkv", .muxer = "matroska", .videoEncoder = "mpeg4", .audioEncoder = "libmp3lame",
              .durationUs = 6000000, .markTimesUs = kAroundHole, .streams = kVideoAudio,
              .audioGapStartUs = 2000000, .audioGapLengthUs = 1000000},
     .make = WriteOnly,
     .inStep = true},
};

class DamagedInputConversion : public testing::TestWithParam<DamagedInput> {};

TEST_P(DamagedInputConversion, EndsAsAUserExpects) {
    BindTestLibraries();
    const DamagedInput& kind = GetParam();
    const std::filesystem::path folder = ScratchFolder();
    const std::string input = kind.make(kind.clip, folder);
    const std::string output = (folder / "converted.mp4").string();
    TranscodeTask task;
    ASSERT_NO_THROW(task.SetUp(input, IpodOptions("30"), output));
    if (kind.failure) {
        try {
            task.Run();
            ADD_FAILURE() << "converted without complaint";
        } catch (const FFMpegException& error) {
            EXPECT_NE(std::string(error.what()).find(kind.failure), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(input), std::string::npos) << error.what();
        }
        // As after any task: what set-up created and nothing wrote goes.
        task.engine.CleanUp();
        EXPECT_FALSE(std::filesystem::exists(output));
        return;
    }
    task.Run();
    EXPECT_TRUE(task.engine.finished_normally);

    const ConvertedFile file = ReadConvertedFile(output);
    ASSERT_TRUE(file.error.empty()) << file.error;
    const StreamAnalysis* video = file.analysis.First(AVMEDIA_TYPE_VIDEO);
    const StreamAnalysis* audio = file.analysis.First(AVMEDIA_TYPE_AUDIO);
    ASSERT_EQ(video != nullptr, kind.video);
    if (video) {
        EXPECT_GT(video->frameCount, 0);
        if (kind.pictures >= 0) {
            EXPECT_EQ(video->frameCount, kind.pictures);
        }
        EXPECT_EQ(video->markTimesUs.size(), kind.clip.markTimesUs.size());
    }
    if (kind.clip.HasAudio()) {
        ASSERT_NE(audio, nullptr);
        EXPECT_GE(audio->peak, kind.minPeak);
        EXPECT_LE(audio->peak, kind.maxPeak);
    }
    if (video && audio && !kind.clip.markTimesUs.empty()) {
        const std::vector<int64_t> offsets = AudioVideoOffsetsUs(*video, *audio);
        ASSERT_EQ(offsets.size(), kind.clip.markTimesUs.size());
        for (size_t i = 0; i < offsets.size(); ++i)
            EXPECT_LE(std::llabs(offsets[i] - kind.clip.audioLagUs), kSyncToleranceUs)
                << "mark " << i << ": sound " << offsets[i] << " us after the picture";
    }
    if (kind.inStep) {
        // Gaps are filled, so that players that go by sample count stay in step.
        EXPECT_LE(audio->largestGapUs, kSyncToleranceUs);
        EXPECT_LE(std::llabs(audio->endTimeUs - audio->firstTimeUs - kind.clip.durationUs), 100000)
            << audio->endTimeUs - audio->firstTimeUs;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedInputConversion, testing::ValuesIn(kInputs),
                         [](const testing::TestParamInfo<DamagedInput>& info) { return info.param.name; });

}  // namespace

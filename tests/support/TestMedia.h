#pragma once
// The clips that the build generates into <build>/media and what each one was
// made with, so that tests can compare what they read against what was written.
//
// Content of every clip:
// - video: 24 frames per second; each frame a diagonal pattern that moves four
//   pixels per frame, with the frame's number written as eight bright or dark
//   cells across the top eighth of the picture (see TestPattern.h); the frames
//   at the mark instants (0.5 s and 1.5 s) are entirely white instead;
// - audio: silence, except a 1 kHz tone in every channel from each mark
//   instant on for kBeepLengthUs;
// - subtitles (one clip): the cues of kTestCues.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

enum class TestStreamKind { Video, Audio, Subtitle };

// All clips last two seconds and carry their marks at the same instants.
inline constexpr int64_t kTestDurationUs = 2000000;
inline constexpr int64_t kMarkTimesUs[] = {500000, 1500000};
inline constexpr int64_t kBeepLengthUs = 200000;
inline constexpr int kBeepFrequency = 1000;
inline constexpr double kBeepAmplitude = 0.5;
// Containers count the audio encoder's priming and the padding of its last
// block as part of the clip: up to about 100 ms (two 2048-sample WMA blocks).
// Where the container cannot signal the priming (AVI, SWF, RealMedia), the
// decoded beeps come that much later than the white frames (audioLagUs).
inline constexpr int64_t kAudioPaddingUs = 100000;

struct TestCue {
    int64_t startUs;
    int64_t endUs;
    const char* text;
};
inline constexpr TestCue kTestCues[] = {
    {200000, 800000, "First cue"},
    {900000, 1400000, "Second cue"},
    {1500000, 1900000, "Third cue"},
};

// Container metadata. Each clip carries the tags its container can store;
// "artist" is what most containers keep for the author.
struct TestTag {
    const char* key;
    const char* value;
};
inline constexpr TestTag kTestTags[] = {
    {"title", "Tovrela test clip"}, {"artist", "Tovrela Tests"}, {"copyright", "Public domain"},
    {"comment", "moving pattern and beeps"}, {"album", "Test Media"}, {"date", "2009"},
    {"track", "7"}, {"genre", "Testing"},
};

struct TestClip {
    const char* fileName = "";
    const char* muxer = "";         // short name of the muxer that wrote it
    const char* videoEncoder = "";  // "" when the clip has no video
    const char* videoTag = "";      // four-character code forced on the video, "" for the muxer's own
    const char* audioEncoder = "";  // "" when the clip has no audio
    int width = 176;
    int height = 144;
    int frameRateNum = 24;
    int frameRateDen = 1;
    int maxBFrames = 0;
    int64_t videoBitRate = 400000;
    int sampleRate = 44100;
    int channels = 2;
    int64_t audioBitRate = 128000;
    int64_t durationUs = kTestDurationUs;
    std::span<const int64_t> markTimesUs = kMarkTimesUs;  // white frames and beep onsets
    std::span<const TestStreamKind> streams = {};          // in stream-index order
    std::span<const TestTag> tags = {};                    // container metadata written
    bool containerKnowsDuration = true;  // false where the demuxer reports no duration
    // How much later the beeps decode than the white frames: the audio
    // encoder's priming where the container cannot tell readers to skip it.
    int64_t audioLagUs = 0;
    double beepAmplitude = kBeepAmplitude;
    // Above 0: white noise of that amplitude under the whole sound track, the
    // kind of signal an AAC encoder would rather describe than code.
    double noiseAmplitude = 0.0;
    // "pal8" for a grey palette whose index is the picture's luma.
    const char* pixelFormat = "yuv420p";
    // Above 0: the audio encoder's variable-rate quality instead of its bit rate.
    int audioQuality = 0;
    // Audio packets starting within this stretch are left out: a real hole.
    int64_t audioGapStartUs = 0;
    int64_t audioGapLengthUs = 0;
    // Above 0: random grain of that many luma levels over the picture, new in
    // every frame, as in noisy camera footage: content that is hard to encode.
    int grain = 0;
    // The stream's display matrix shows the pictures a quarter turn
    // clockwise, as a phone held upright records them.
    bool turned = false;

    int CountOf(TestStreamKind kind) const;
    // Index of the first stream of that kind, -1 when there is none.
    int FirstOf(TestStreamKind kind) const;
    bool HasVideo() const { return CountOf(TestStreamKind::Video) > 0; }
    bool HasAudio() const { return CountOf(TestStreamKind::Audio) > 0; }
    // Microseconds of one video frame (of one 1024-sample block without video).
    int64_t FrameDurationUs() const;
    // The range a container's duration may take: within a frame of the clip's
    // duration, plus the audio encoder's priming and padding (kAudioPaddingUs).
    int64_t MinContainerDurationUs() const { return durationUs - FrameDurationUs(); }
    int64_t MaxContainerDurationUs() const {
        return durationUs + FrameDurationUs() + (HasAudio() ? kAudioPaddingUs : 0);
    }
    // The value of a tag the clip carries, "" when it carries none of that key.
    std::string Tag(const std::string& key) const;
};

// A video-only AVI at the iPod's usual frame size, 320x240 at 30 frames a
// second, written at a high rate so that what a conversion loses is its own:
// for measuring what the encoder makes of easy (no grain) and hard content.
TestClip IpodSizedClip(const char* fileName, int64_t durationUs, int grain);

// Every generated clip, in generation order.
std::span<const TestClip> TestClips();
// Clips in the shapes other programs' muxers give them, as people bring them
// to a converter: AVI with MP3, a DVD's VOB, a phone's MP4 recorded upright,
// DV, WMV and RealMedia. Not generated by the build: writers of each write
// what they need.
std::span<const TestClip> ForeignMuxerClips();
// The clip of that file name; throws std::out_of_range for an unknown name.
const TestClip& FindTestClip(const std::string& fileName);

// The same content as avi_mpeg4_mp3.avi, written for the README's first run.
inline constexpr char kSampleClipName[] = "sample.avi";
inline constexpr char kSampleSourceName[] = "avi_mpeg4_mp3.avi";

// Full path of a generated clip in the build tree's media folder.
std::string TestMediaPath(const std::string& fileName);

// Binds the system's FFmpeg libraries once for the whole test program; throws
// std::runtime_error with the binding's message when that fails.
void BindTestLibraries();

#pragma once

#include <cstdint>
#include <string>
#include <utility>

struct AVFormatContext;

// What a media file's container says about it. Unknown numbers carry the
// library's own marker; texts are zero-terminated and copied whole.
struct TAVFileInfo {
    int64_t StartTime;  // microseconds
    int64_t Duration;   // microseconds
    int32_t BitRate;    // bits per second
    int64_t Timestamp;  // seconds since the epoch, 0 when the file has none
    char Title[512];
    char Author[512];
    char Copyright[512];
    char Comment[512];
    char Album[512];
    int32_t Year;
    int32_t Track;
    char Genre[32];
};

// The message for a failed media open, the file name filled into the pattern
// chosen by the library's result code, without the system's reason.
std::string OpenErrorMessage(const std::string& fileName, int resultCode);
// The same followed by the system's reason, when there is one.
std::string FormatOpenErrorText(const std::string& fileName, int resultCode);

// Opens a media file (or describes one opened elsewhere) and counts its
// streams. Every count is -1 while no file is probed.
class TAVProbe {
public:
    TAVProbe();
    ~TAVProbe();
    TAVProbe(const TAVProbe&) = delete;
    TAVProbe& operator=(const TAVProbe&) = delete;

    // Throws std::runtime_error when a needed library is not bound.
    static void CheckLibraries();

    bool Open(const std::string& fileName, const std::string& formatName);
    // Describes a context that its opener keeps and closes.
    void Attach(AVFormatContext* context);
    void GetInfo(TAVFileInfo& info) const;
    void Close();

    const std::string& ErrorMessage() const { return errorMessage_; }
    const std::string& FormatName() const { return formatName_; }
    // The duration the file's headers announce, in microseconds, -1 when
    // they say none: the container's, or a video stream's frame count at its
    // frame rate when that is longer (an AVI header counts the frames meant
    // to come, even when the file ends early).
    int64_t AnnouncedDurationUs() const;
    // The short name of the demuxer that reads the probed file, empty when none.
    std::string ContainerFormat() const;
    int32_t StreamCount() const { return streamCount_; }
    int32_t ProgramCount() const { return programCount_; }
    int32_t AudioStreamCount() const { return audioStreamCount_; }
    int32_t VideoStreamCount() const { return videoStreamCount_; }
    int32_t SubtitleStreamCount() const { return subtitleStreamCount_; }
    int32_t FirstAudioStream() const { return firstAudioStream_; }
    int32_t FirstVideoStream() const { return firstVideoStream_; }
    int32_t FirstSubtitleStream() const { return firstSubtitleStream_; }
    // Pictures a second of the first video stream (its average, else the
    // demuxer's guess); numerator 0 when unknown or nothing is probed.
    std::pair<int, int> VideoFrameRate() const;
    // The opened file, nullptr while none is probed.
    const AVFormatContext* Context() const { return context_; }

private:
    void CountStreams();

    AVFormatContext* context_ = nullptr;
    bool ownsContext_ = false;
    std::string errorMessage_;
    std::string formatName_;
    int32_t streamCount_ = -1;
    int32_t programCount_ = -1;
    int32_t audioStreamCount_ = -1;
    int32_t videoStreamCount_ = -1;
    int32_t subtitleStreamCount_ = -1;
    int32_t firstAudioStream_ = -1;
    int32_t firstVideoStream_ = -1;
    int32_t firstSubtitleStream_ = -1;
};

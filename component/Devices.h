#pragma once
// The devices a conversion can be made for: how a file for each is encoded
// and written, and what each plays. The window's list, the command line's
// names, the job's codec settings and the checks of finished files all read
// this one table.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

// One step of what a device plays: the codec level written into the stream
// and the largest picture and video rate that level stands for. A device
// plays files up to its highest step.
struct TDeviceLevel {
    int Level = 0;            // as the codec's header holds it: H.264 13 is "1.3"
    int MaxWidth = 0;
    int MaxHeight = 0;
    int32_t MaxBitRate = 0;   // bits per second
    int32_t MaxBufferSize = 0;  // the level's rate-control buffer, bits; 0: no limit beyond the rate's
    int MaxReferences = 0;    // reference pictures; 0: the encoder's choice
};

struct TDevice {
    const char* Name;       // as the window lists it
    const char* ShortName;  // as the command line takes it
    const char* PlayerName; // in the reasons a file does not play: "too wide for iPod"

    const char* VideoEncoder;  // by the libraries' name
    AVCodecID VideoCodec;
    int VideoProfile;  // the profile the file must declare, FF_PROFILE_UNKNOWN for any
    std::span<const TDeviceLevel> Levels;  // lowest first
    // The encoder's own options, as name=value lines for the engine: those
    // the device needs, and those chosen for the best picture per bit.
    const char* VideoEncoderOptions;
    const char* VideoQualityOptions;
    double MaxFrameRate;
    // Pictures between key frames, at most; a lower frame rate asked for
    // gets fewer, so that key frames are never more than two seconds apart.
    int MaxKeyFrameInterval;
    // The video rates the encoder keeps to within a tenth, bits per second.
    // Below the lowest, its coarsest step still sends more (0: no such
    // floor). The highest is this share of the device's highest rate: the
    // rest is the rate-control buffer, and a second carries at most the rate
    // and the buffer together.
    int32_t MinVideoBitRate;
    double TopRateShare;

    const char* AudioEncoder;
    AVCodecID AudioCodec;
    int AudioProfile;  // FF_PROFILE_UNKNOWN for any
    const char* AudioEncoderOptions;
    int32_t MaxAudioBitRate;  // bits per second
    // The only rates the encoder writes, in kbit/s, lowest first; empty: any.
    std::span<const int> AudioBitRatesKbps;
    int MinSampleRate;
    int MaxSampleRate;
    int MaxChannels;

    const char* Muxer;
    const char* Extension;           // of the files written, with its dot
    const char* ContainerFamily;     // found in the demuxer's names of a playable file
    std::span<const char* const> PlayableExtensions;
    // The H.264 stream carries the box that iPods look for before they
    // accept larger H.264 files.
    bool MarksH264ForIpod;
    // The row whose limits a file of another video codec the device also
    // plays is held to (an iPod plays MPEG-4 and H.264); nullptr when none.
    const char* OtherCodecRow;
    // The device shows a text subtitle track (mov_text, handler "sbtl")
    // that the person turns on; one that does not gets subtitles drawn
    // into the picture.
    bool ShowsTextTracks = false;
    // Seconds of film a conversion for the device makes in a second, one
    // file at a time, measured on clips of 320x240 to 720x576 with
    // bench/sync_estimate_benchmark --speeds; what a sync's plan says its
    // conversions take comes from it.
    double FilmSecondsPerSecond = 1.0;

    const TDeviceLevel& HighestLevel() const { return Levels.back(); }
    // In whole kbit/s, as the settings give rates.
    int32_t TopVideoBitRate() const {
        return static_cast<int32_t>(HighestLevel().MaxBitRate * TopRateShare) / 1000 * 1000;
    }
};

// Where one model of a device plays less than its row: the first iPods with
// video take MPEG-4 pictures only up to 480x480. With no codec the row's own
// limits hold.
struct TModelVideoLimit {
    AVCodecID Codec = AV_CODEC_ID_NONE;
    int MaxWidth = 0;
    int MaxHeight = 0;
    const char* ModelName = "";  // in the reasons: "too wide for the fifth-generation iPod"
};

std::span<const TDevice> Devices();
// The first row: the device of every conversion not told otherwise.
inline constexpr size_t kDefaultDeviceIndex = 0;
// The row of that index, or the default row for an index the table lacks.
const TDevice& DeviceAt(size_t index);
// The index of the row with that short name.
std::optional<size_t> FindDevice(const std::string& shortName);
// "ipod, ipod-h264, ..." for help texts and messages.
std::string DeviceShortNames();

// Why the bound libraries cannot make files for the device ("" when they
// can, or when no libraries are bound yet): they lack its video or audio
// encoder.
std::string DeviceUnavailableReason(const TDevice& device);

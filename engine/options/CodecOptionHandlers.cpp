// Encoder options: bit rates, codec names and stream copy, FourCC tags,
// two-pass mode and custom quantiser matrices.

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <source_location>
#include <string>

#include "FFmpeg.h"
#include "LibraryString.h"

namespace {

// The option name picks which kind's codec context holds the rate it set.
bool IsAudioOption(const std::string& name) { return !name.empty() && name[0] == 'a'; }

// A codec name of one media kind, or stream copy when it is "copy". Whether
// the name is a known encoder is checked once a stream uses it.
void SetCodecName(TLibraryString& codecName, int32_t& streamCopy, const std::string& text) {
    if (text.empty()) return;
    codecName.reset();
    if (text == "copy")
        streamCopy = 1;
    else
        codecName = DuplicateLibraryString(text);
}

// A tag of the wrong length is a caller's mistake, reported like a failed
// assertion: the message, then where it was detected.
[[noreturn]] void FailAssertion(const char* message,
                                std::source_location where = std::source_location::current()) {
    const std::string file = std::filesystem::path(where.file_name()).filename().string();
    throw FFMpegException(std::string(message) + " (" + file + ", line " + std::to_string(where.line()) +
                          ")");
}

// The four characters as a FourCC, first character in the low byte.
int32_t FourCC(const std::string& tag) {
    uint32_t code = 0;
    for (int i = 3; i >= 0; --i) code = (code << 8) | static_cast<unsigned char>(tag[i]);
    return static_cast<int32_t>(code);
}

constexpr int kMatrixCoefficients = 64;

// The MPEG encoders divide by every coefficient and keep them in 8 bits, so
// a zero ends the process and anything past 255 wrecks the picture.
constexpr long kSmallestCoefficient = 1;
constexpr long kLargestCoefficient = 255;

// Comma-separated integers, each read from where the previous comma left off.
void ParseMatrix(int16_t* matrix, const char* option, const std::string& text) {
    const char* position = text.c_str();
    for (int i = 0;; ++i) {
        const long coefficient = std::strtol(position, nullptr, 10);
        if (coefficient < kSmallestCoefficient || coefficient > kLargestCoefficient)
            throw FFMpegException(std::string(option) + ": coefficient " + std::to_string(i) + " of matrix \"" +
                                  text + "\" must lie between 1 and 255");
        matrix[i] = static_cast<int16_t>(coefficient);
        if (i == kMatrixCoefficients - 1) return;
        position = std::strchr(position, ',');
        if (!position)
            throw FFMpegException("Syntax error in matrix \"" + text + "\" at coeff " + std::to_string(i));
        ++position;
    }
}

// Replaces the matrix with a fresh zero-filled block and fills it. A refused
// text leaves no matrix at all, so that no encoder ever sees a partial one.
void SetMatrix(TQuantMatrix& matrix, const char* option, const std::string& text) {
    if (text.empty()) return;
    matrix.reset(static_cast<int16_t*>(ff::av_mallocz(kMatrixCoefficients * sizeof(int16_t))));
    if (!matrix) throw FFMpegException("Out of memory for the quantiser matrix");
    try {
        ParseMatrix(matrix.get(), option, text);
    } catch (const FFMpegException&) {
        matrix.reset();
        throw;
    }
}

}  // namespace

// A rate below 1000 is almost always kbit/s given where bit/s is meant.
void TCustomFFmpeg::SetBitrate(const std::string& name, const std::string& value) {
    if (name.empty() || value.empty()) return;
    if (!SetGenericOption(name, value) || !HasLogHandler()) return;
    AVCodecContext* options =
        codec_option_contexts[IsAudioOption(name) ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO].get();
    int64_t bitrate = 0;
    if (ff::av_opt_get_int(options, "b", 0, &bitrate) >= 0 && bitrate < 1000)
        Log("WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void TCustomFFmpeg::SetVideoCodec(const std::string& name) {
    SetCodecName(video_codec_name, video_stream_copy, name);
}

void TCustomFFmpeg::SetAudioCodec(const std::string& name) {
    SetCodecName(audio_codec_name, audio_stream_copy, name);
}

void TCustomFFmpeg::SetSubtitleCodec(const std::string& name) {
    SetCodecName(subtitle_codec_name, subtitle_stream_copy, name);
}

void TCustomFFmpeg::SetVideoTag(const std::string& tag) {
    if (tag.empty()) return;
    if (tag.size() != 4) FailAssertion("video tag parameter must be 4 chars");
    video_codec_tag = FourCC(tag);
}

void TCustomFFmpeg::SetAudioTag(const std::string& tag) {
    if (tag.empty()) return;
    if (tag.size() != 4) FailAssertion("audio tag parameter must be 4 chars");
    audio_codec_tag = FourCC(tag);
}

void TCustomFFmpeg::SetPass(int32_t number) {
    if (number != 1 && number != 2) throw FFMpegException("pass number can be only 1 or 2");
    pass = number;
}

void TCustomFFmpeg::SetIntraMatrix(const std::string& text) { SetMatrix(intra_matrix, "intra_matrix", text); }

void TCustomFFmpeg::SetInterMatrix(const std::string& text) { SetMatrix(inter_matrix, "inter_matrix", text); }

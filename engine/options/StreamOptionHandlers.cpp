// Stream selection and input stream settings: stream and metadata maps,
// per-stream timestamp scales, capture channel and standard, audio rate and
// channel count.

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>

#include "FFmpeg.h"
#include "LibraryString.h"

namespace {

// Reads the numbers of a map text. Each number may be decimal, octal or
// hexadecimal; whatever single character follows it is taken as its
// separator, so "0.1" and "0:1" read alike. A number beyond the largest
// table is refused rather than cut down to one that names another stream.
class MapTextReader {
public:
    MapTextReader(const char* option, const std::string& text)
        : option_(option), text_(text), position_(text.c_str()) {}

    int32_t NextInteger() {
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(position_, &end, 0);
        if (errno == ERANGE || value < -kLargestIndex || value > kLargestIndex)
            throw FFMpegException("Index out of range in option " + std::string(option_) + ": " + text_);
        position_ = end;
        SkipSeparator();
        return static_cast<int32_t>(value);
    }

    // Reads with "." as the decimal separator whatever the process locale;
    // text that is not a number reads as 0.
    double NextDecimal() {
        while (*position_ == ' ' || *position_ == '\t') ++position_;
        if (*position_ == '+') ++position_;
        double value = 0;
        const char* last = position_ + std::char_traits<char>::length(position_);
        const auto result = std::from_chars(position_, last, value);
        if (result.ec == std::errc()) position_ = result.ptr;
        else value = 0;
        SkipSeparator();
        return value;
    }

    bool AtEnd() const { return *position_ == '\0'; }

private:
    void SkipSeparator() {
        if (*position_) ++position_;
    }

    // No table the indexes select from comes near this; negative values
    // pass so that set-up can name the stream it cannot find.
    static constexpr long kLargestIndex = 1 << 20;

    const char* option_;
    const std::string& text_;
    const char* position_;
};

}  // namespace

// "file.stream" or "file.stream:sync_file.sync_stream"; without the sync
// part a stream keeps in step with itself.
void TCustomFFmpeg::AddStreamMap(const std::string& text) {
    if (text.empty()) return;
    if (stream_map_count >= kMaxStreamMaps)
        throw FFMpegException("Too many stream maps: at most " + std::to_string(kMaxStreamMaps) +
                              " are allowed");
    MapTextReader reader("map", text);
    TStreamMap map;
    map.file_index = reader.NextInteger();
    map.stream_index = reader.NextInteger();
    if (reader.AtEnd()) {
        map.sync_file_index = map.file_index;
        map.sync_stream_index = map.stream_index;
    } else {
        map.sync_file_index = reader.NextInteger();
        map.sync_stream_index = reader.NextInteger();
    }
    stream_maps[stream_map_count++] = map;
}

// "output_file:input_file". The indexes are checked once the files exist.
void TCustomFFmpeg::AddMetaDataMap(const std::string& text) {
    if (text.empty()) return;
    if (meta_data_map_count >= kMaxMetaDataMaps)
        throw FFMpegException("Too many metadata maps: at most " + std::to_string(kMaxMetaDataMaps) +
                              " are allowed");
    MapTextReader reader("map_meta_data", text);
    TMetaDataMap map;
    map.out_file = reader.NextInteger();
    map.in_file = reader.NextInteger();
    meta_data_maps[meta_data_map_count++] = map;
}

// "stream:scale" for the next input to be opened.
void TCustomFFmpeg::SetInputTsScale(const std::string& text) {
    if (text.empty()) return;
    MapTextReader reader("itsscale", text);
    const int32_t stream = reader.NextInteger();
    const double scale = reader.NextDecimal();
    if (stream < 0 || stream >= kMaxStreams)
        throw FFMpegException("stream index over MAX_STREAMS(" + std::to_string(kMaxStreams) + ")");
    if (input_count >= kMaxFiles)
        throw FFMpegException("No further input can be opened: at most " + std::to_string(kMaxFiles) +
                              " are allowed");
    input_ts_scales[input_count][stream] = scale;
}

void TCustomFFmpeg::SetVideoChannel(int32_t channel) { video_channel = channel; }

void TCustomFFmpeg::SetVideoStandard(const std::string& text) {
    if (text.empty()) return;
    video_standard = DuplicateLibraryString(text);
}

void TCustomFFmpeg::SetAudioSampleRate(int32_t rate) {
    if (rate > 0) audio_sample_rate = rate;
}

void TCustomFFmpeg::SetAudioChannels(int32_t channels) {
    if (channels > 0) audio_channels = channels;
}

// Times and dates: recording duration, seek position, input timestamp offset
// and the timestamp written to the output.

#include <string>

#include "FFmpeg.h"

namespace {

// Microseconds of a duration ("1:02:03.5", "90") or a date ("now",
// "2009-02-13T23:31:30Z").
int64_t ParseTime(const std::string& optionName, const std::string& text, bool isDuration) {
    int64_t microseconds = 0;
    if (ff::av_parse_time(&microseconds, text.c_str(), isDuration ? 1 : 0) < 0)
        throw FFMpegException(std::string("Invalid ") + (isDuration ? "duration" : "date") +
                              " specification for " + optionName + ": " + text);
    return microseconds;
}

// To the nearest whole second, halves away from zero.
int64_t RoundToSeconds(int64_t microseconds) {
    constexpr int64_t kSecond = 1000000;
    int64_t seconds = microseconds / kSecond;
    const int64_t rest = microseconds % kSecond;
    if (rest >= kSecond / 2) ++seconds;
    if (rest <= -kSecond / 2) --seconds;
    return seconds;
}

}  // namespace

void TCustomFFmpeg::SetRecordingTime(const std::string& text) {
    if (text.empty()) return;
    SetRecordingTimeMs(ParseTime("t", text, true) / 1000);
}

void TCustomFFmpeg::SetStartTimeText(const std::string& text) {
    if (text.empty()) return;
    start_time = ParseTime("ss", text, true);
}

void TCustomFFmpeg::SetInputTsOffset(const std::string& text) {
    if (text.empty()) return;
    input_ts_offset = ParseTime("itsoffset", text, true);
}

void TCustomFFmpeg::SetRecordingTimestamp(const std::string& text) {
    if (text.empty()) return;
    recording_timestamp = RoundToSeconds(ParseTime("timestamp", text, false));
}

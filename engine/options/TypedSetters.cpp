// The setters the conversion component calls with typed values; each stores
// only a value that means something, so the component can pass its "unset"
// values through unchanged.

#include <limits>

#include "FFmpeg.h"
#include "LibraryBinding.h"
#include "LogLevels.h"

void TCustomFFmpeg::SetVerbose(int32_t level) {
    verbose = level;
    if (ff::av_log_set_level) ff::av_log_set_level(LibraryLevelFromEngine(level));
    SetCachedLogLevel(level);
}

void TCustomFFmpeg::SetAudioVolume(int32_t volume) {
    if (volume >= 0) audio_volume = volume;
}

void TCustomFFmpeg::SetAudioSyncMethod(int32_t method) { audio_sync_method = method; }

void TCustomFFmpeg::SetVideoSyncMethod(int32_t method) { video_sync_method = method; }

void TCustomFFmpeg::SetMuxMaxDelay(float seconds) {
    if (seconds > 0) mux_max_delay = seconds;
}

void TCustomFFmpeg::SetMuxPreload(float seconds) {
    if (seconds > 0) mux_preload = seconds;
}

namespace {

void StoreIfGiven(std::string& field, const std::string& text) {
    if (!text.empty()) field = text;
}

}  // namespace

void TCustomFFmpeg::SetTitle(const std::string& text) { StoreIfGiven(title, text); }
void TCustomFFmpeg::SetAuthor(const std::string& text) { StoreIfGiven(author, text); }
void TCustomFFmpeg::SetCopyright(const std::string& text) { StoreIfGiven(copyright, text); }
void TCustomFFmpeg::SetComment(const std::string& text) { StoreIfGiven(comment, text); }
void TCustomFFmpeg::SetGenre(const std::string& text) { StoreIfGiven(genre, text); }
void TCustomFFmpeg::SetAlbum(const std::string& text) { StoreIfGiven(album, text); }

void TCustomFFmpeg::AddOutputMetadata(const std::string& keyAndValue) {
    const size_t equals = keyAndValue.find('=');
    if (equals == 0 || equals == std::string::npos)
        throw FFMpegException("Invalid metadata '" + keyAndValue + "': expected key=value");
    output_metadata.push_back(keyAndValue);
}

void TCustomFFmpeg::SetTrack(int32_t number) {
    if (number > 0) track = number;
}

void TCustomFFmpeg::SetYear(int32_t number) {
    if (number > 0) year = number;
}

void TCustomFFmpeg::SetStartTime(int64_t microseconds) {
    if (microseconds > 0) start_time = microseconds;
}

void TCustomFFmpeg::SetProgramId(int32_t id) {
    if (id >= 0) program_id = id;
}

void TCustomFFmpeg::SetRecordingTimeMs(int64_t milliseconds) {
    if (milliseconds <= 0) return;
    const int64_t longest = std::numeric_limits<int64_t>::max();
    recording_time = milliseconds > longest / 1000 ? longest : milliseconds * 1000;
    total_duration_ms = milliseconds;
}

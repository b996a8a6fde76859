#include "AVProbe.h"
#include "LocalFile.h"
#include "SystemReason.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "SwScaleHlpr.h"

namespace {

const char* OpenErrorPattern(int code) {
    if (code == AVERROR(EILSEQ) || code == AVERROR_INVALIDDATA || code == AVERROR_DEMUXER_NOT_FOUND)
        return "%s: Unknown format";
    if (code == AVERROR(EDOM))
        return "%s: Incorrect image filename syntax.\r\n"
               "Use '%%d' to specify the image number:\r\n"
               "  for img1.jpg, img2.jpg, ..., use 'img%%d.jpg';\r\n"
               "  for img001.jpg, img002.jpg, ..., use 'img%%03d.jpg'.";
    if (code == AVERROR(EINVAL)) return "%s: Error while parsing header";
    if (code == AVERROR(ENOMEM)) return "%s: memory allocation error occurred";
    if (code == AVERROR(EIO))
        return "%s: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted.";
    if (code == AVERROR(ENOENT)) return "%s: no such file or directory";
    return "%s: Error while opening file";
}

// Copies a metadata text into a fixed field, always zero-terminated.
template <size_t N>
void CopyTag(const AVDictionary* metadata, const char* key, char (&field)[N], const char* fallbackKey = nullptr) {
    std::memset(field, 0, N);
    const AVDictionaryEntry* entry = ff::av_dict_get(metadata, key, nullptr, 0);
    if (!entry && fallbackKey) entry = ff::av_dict_get(metadata, fallbackKey, nullptr, 0);
    if (entry) std::strncpy(field, entry->value, N - 1);
}

// "2009", "2009-05-01" and "3/12" all start with the number that matters.
int32_t LeadingNumber(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = ff::av_dict_get(metadata, key, nullptr, 0);
    return entry ? static_cast<int32_t>(std::strtol(entry->value, nullptr, 10)) : 0;
}

int64_t CreationTime(const AVDictionary* metadata) {
    const AVDictionaryEntry* entry = ff::av_dict_get(metadata, "creation_time", nullptr, 0);
    int64_t microseconds = 0;
    if (!entry || ff::av_parse_time(&microseconds, entry->value, 0) < 0) return 0;
    return microseconds / 1000000;
}

void ClearInfo(TAVFileInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.StartTime = info.Duration = info.Timestamp = -1;
    info.BitRate = info.Year = info.Track = -1;
}

}  // namespace

std::string OpenErrorMessage(const std::string& fileName, int resultCode) {
    const char* pattern = OpenErrorPattern(resultCode);
    int length = std::snprintf(nullptr, 0, pattern, fileName.c_str());
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, fileName.c_str());
    return text;
}

std::string FormatOpenErrorText(const std::string& fileName, int resultCode) {
    return OpenErrorMessage(fileName, resultCode) + SystemReasonSuffix(resultCode);
}

TAVProbe::TAVProbe() = default;

TAVProbe::~TAVProbe() {
    // Without bound libraries nothing can be owned: Open refuses first.
    if (context_ && ownsContext_) ff::avformat_close_input(&context_);
}

void TAVProbe::CheckLibraries() {
    if (!AVCodecBinder().Bound()) throw std::runtime_error("LibAVCodec not loaded.");
    if (!AVFormatBinder().Bound()) throw std::runtime_error("LibAVFormat not loaded.");
    if (!AVUtilBinder().Bound()) throw std::runtime_error("LibAVUtil not loaded.");
    if (!SwScaleBinder().Bound()) throw std::runtime_error("LibSwScale not loaded.");
}

bool TAVProbe::Open(const std::string& fileName, const std::string& formatName) {
    CheckLibraries();
    Close();
    const AVInputFormat* inputFormat = nullptr;
    if (!formatName.empty()) {
        inputFormat = ff::av_find_input_format(formatName.c_str());
        if (!inputFormat) {
            errorMessage_ = "Unknown input format: " + formatName;
            return false;
        }
    }
    const bool localFile = !inputFormat || !(inputFormat->flags & AVFMT_NOFILE);
    if (localFile) {
        if (std::string refused = NotARegularFileText(fileName); !refused.empty()) {
            errorMessage_ = std::move(refused);
            return false;
        }
    }
    context_ = ff::avformat_alloc_context();
    if (!context_) {
        errorMessage_ = FormatOpenErrorText(fileName, AVERROR(ENOMEM));
        return false;
    }
    ownsContext_ = true;
    // On failure the library frees the context and clears the pointer.
    const std::string url = localFile ? LocalFileUrl(fileName) : fileName;
    int result = ff::avformat_open_input(&context_, url.c_str(), inputFormat, nullptr);
    if (result < 0) {
        errorMessage_ = FormatOpenErrorText(fileName, result);
        Close();
        return false;
    }
    if (ff::avformat_find_stream_info(context_, nullptr) < 0) {
        errorMessage_ = fileName + ": could not find codec parameters";
        Close();
        return false;
    }
    CountStreams();
    formatName_ = formatName;
    return true;
}

void TAVProbe::Attach(AVFormatContext* context) {
    CheckLibraries();
    Close();
    ownsContext_ = false;
    context_ = context;
    CountStreams();
}

void TAVProbe::Close() {
    formatName_.clear();
    if (context_ && ownsContext_) ff::avformat_close_input(&context_);
    context_ = nullptr;
    CountStreams();
}

int64_t TAVProbe::AnnouncedDurationUs() const {
    if (!context_) return -1;
    int64_t longest = context_->duration == AV_NOPTS_VALUE ? -1 : context_->duration;
    for (unsigned index = 0; index < context_->nb_streams; ++index) {
        const AVStream* stream = context_->streams[index];
        const AVRational rate = stream->avg_frame_rate;
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || stream->nb_frames <= 0 || rate.num <= 0 ||
            rate.den <= 0 || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        longest = std::max(longest, ff::av_rescale_q(stream->nb_frames, av_inv_q(rate), AV_TIME_BASE_Q));
    }
    return longest;
}

std::pair<int, int> TAVProbe::VideoFrameRate() const {
    if (!context_ || firstVideoStream_ < 0) return {0, 1};
    const AVStream* stream = context_->streams[firstVideoStream_];
    for (const AVRational rate : {stream->avg_frame_rate, stream->r_frame_rate})
        if (rate.num > 0 && rate.den > 0) return {rate.num, rate.den};
    return {0, 1};
}

std::string TAVProbe::ContainerFormat() const {
    return context_ && context_->iformat ? context_->iformat->name : "";
}

void TAVProbe::CountStreams() {
    streamCount_ = programCount_ = audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
    firstAudioStream_ = firstVideoStream_ = firstSubtitleStream_ = -1;
    if (!context_) return;
    streamCount_ = static_cast<int32_t>(context_->nb_streams);
    programCount_ = static_cast<int32_t>(context_->nb_programs);
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
    for (int32_t index = 0; index < streamCount_; ++index) {
        const AVStream* stream = context_->streams[index];
        // Cover art is one still picture beside the sound, not a video.
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        switch (stream->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                if (videoStreamCount_++ == 0) firstVideoStream_ = index;
                break;
            case AVMEDIA_TYPE_AUDIO:
                if (audioStreamCount_++ == 0) firstAudioStream_ = index;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                if (subtitleStreamCount_++ == 0) firstSubtitleStream_ = index;
                break;
            default:
                break;
        }
    }
}

void TAVProbe::GetInfo(TAVFileInfo& info) const {
    ClearInfo(info);
    if (!context_) {
        ff::av_log(nullptr, AV_LOG_INFO, "file not loaded.\n");
        return;
    }
    const AVDictionary* metadata = context_->metadata;
    info.StartTime = context_->start_time;
    info.Duration = context_->duration;
    info.BitRate = static_cast<int32_t>(std::clamp<int64_t>(context_->bit_rate, INT32_MIN, INT32_MAX));
    info.Timestamp = CreationTime(metadata);
    CopyTag(metadata, "title", info.Title);
    CopyTag(metadata, "author", info.Author, "artist");
    CopyTag(metadata, "copyright", info.Copyright);
    CopyTag(metadata, "comment", info.Comment);
    CopyTag(metadata, "album", info.Album);
    info.Year = LeadingNumber(metadata, "date");
    info.Track = LeadingNumber(metadata, "track");
    CopyTag(metadata, "genre", info.Genre);
}

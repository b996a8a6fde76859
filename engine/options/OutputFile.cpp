// Creating an output: the container, the streams the inputs call for, the
// metadata and the muxer options. The file itself is only made sure of here:
// nothing is written until the conversion runs.

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "AVProbe.h"
#include "FFmpeg.h"
#include "OutputRules.h"
#include "SystemReason.h"

namespace {

bool SameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    return std::filesystem::equivalent(first, second, error) && !error;
}

// Why a file cannot be written there, in the system's words.
std::string OutputReason(int errorNumber) {
    if (errorNumber == ENOENT) return std::strerror(errorNumber);
    return SystemReasonOfErrno(errorNumber);
}

std::string IsoTime(int64_t secondsSinceEpoch) {
    const std::time_t seconds = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &parts);
    return text;
}

}  // namespace

void TCustomFFmpeg::OpenOutputFile(const std::string& fileName) {
    const int index = output_count;
    if (index >= kMaxFiles) {
        DiscardFailedOutput(index);
        throw FFMpegException(fileName + ": too many output files (at most " + std::to_string(kMaxFiles) + ")");
    }
    try {
        CreateOutput(fileName, index);
    } catch (...) {
        DiscardFailedOutput(index);
        throw;
    }
    forced_output_format = nullptr;
    forced_input_format = nullptr;
}

void TCustomFFmpeg::CreateOutput(const std::string& fileName, int index) {
    if (!vfilters.empty() && frame_croptop + frame_cropbottom + frame_cropleft + frame_cropright != 0)
        throw FFMpegException("Cannot enable crop options and filters at the same time.");
    if (!FiltersKeepFrameSize(vfilters) && frame_padtop + frame_padbottom + frame_padleft + frame_padright != 0)
        throw FFMpegException(
            "Cannot enable pad options and the filters which resize frame at the same time. "
            "(crop, rotate, scale, transpose, etc.)");
    vfilters_active = !vfilters.empty();

    const AVOutputFormat* format =
        forced_output_format ? forced_output_format : ff::av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!format) throw FFMpegException("Unable to find a suitable output format for '" + fileName + "'");
    forced_output_format = format;
    AVFormatContext* allocated = nullptr;
    if (ff::avformat_alloc_output_context2(&allocated, format, nullptr, fileName.c_str()) < 0 || !allocated)
        throw MediaFileError(fileName, AVERROR(ENOMEM));
    TOutputContextPtr output(allocated);

    AddOutputStreams(output.get(), index);
    SetOutputMetadata(output.get());

    if ((format->flags & AVFMT_NEEDNUMBER) && !ff::av_filename_number_test(fileName.c_str()))
        throw MediaFileError(fileName, AVERROR(EDOM));
    if (!(format->flags & AVFMT_NOFILE)) PrepareOutputFile(fileName, index);
    SetMuxerOptions(output.get());

    output_contexts[index] = std::move(output);
    output_count = index + 1;
}

// Nothing of a failed output stays behind: its streams' encoder contexts and
// filter chains go with it, and the output list is left as it was.
void TCustomFFmpeg::DiscardFailedOutput(int output_index) {
    if (output_index < kMaxFiles) {
        output_streams[output_index].clear();
        for (TBitstreamFilterChain& chain : stream_bitstream_filters[output_index]) chain.clear();
        output_claims[output_index].Release();
    }
    forced_output_format = nullptr;
    forced_input_format = nullptr;
}

// Decides which kinds of stream the output gets and creates them.
void TCustomFFmpeg::AddOutputStreams(AVFormatContext* output, int output_index) {
    const AVOutputFormat* format = output->oformat;
    bool useVideo = video_stream_copy || format->video_codec != AV_CODEC_ID_NONE || video_codec_name;
    bool useAudio = audio_stream_copy || format->audio_codec != AV_CODEC_ID_NONE || audio_codec_name;
    bool useSubtitle =
        subtitle_stream_copy || format->subtitle_codec != AV_CODEC_ID_NONE || subtitle_codec_name;
    if (input_count > 0) {
        bool hasVideo = false;
        bool hasAudio = false;
        bool hasSubtitle = false;
        try {
            CheckInputMediaTypes(hasVideo, hasAudio, hasSubtitle);
        } catch (const FFMpegException& error) {
            throw FFMpegException(std::string("check_audio_video_sub_inputs fail: ") + error.what());
        }
        useVideo = useVideo && hasVideo;
        useAudio = useAudio && hasAudio;
        useSubtitle = useSubtitle && hasSubtitle;
    }
    if (subtitle_disable) useSubtitle = false;

    if (useVideo && !video_disable) {
        try {
            NewVideoStream(output, output_index);
        } catch (const FFMpegException& error) {
            throw FFMpegException(std::string("new_video_stream fail: ") + error.what());
        }
    }
    if (useAudio && !audio_disable) {
        try {
            NewAudioStream(output, output_index);
        } catch (const FFMpegException& error) {
            throw FFMpegException(std::string("new_audio_stream fail: ") + error.what());
        }
    }
    if (useSubtitle) {
        try {
            NewSubtitleStream(output, output_index);
        } catch (const FFMpegException& error) {
            throw FFMpegException(std::string("new_subtitle_stream fail: ") + error.what());
        }
    }
}

void TCustomFFmpeg::CheckInputMediaTypes(bool& has_video, bool& has_audio, bool& has_subtitle) const {
    has_video = has_audio = has_subtitle = false;
    for (int file = 0; file < input_count; ++file) {
        const AVFormatContext* input = input_contexts[file].get();
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            switch (input->streams[i]->codecpar->codec_type) {
                case AVMEDIA_TYPE_VIDEO:
                    // A cover picture is no video to convert.
                    if (!(input->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)) has_video = true;
                    break;
                case AVMEDIA_TYPE_AUDIO: has_audio = true; break;
                case AVMEDIA_TYPE_SUBTITLE: has_subtitle = true; break;
                case AVMEDIA_TYPE_UNKNOWN:
                case AVMEDIA_TYPE_DATA:
                case AVMEDIA_TYPE_ATTACHMENT: break;
                default: throw FFMpegException("invalid codec_type of input file");
            }
        }
    }
}

void TCustomFFmpeg::SetOutputMetadata(AVFormatContext* output) {
    auto set = [output](const char* key, const std::string& value) {
        if (!value.empty()) ff::av_dict_set(&output->metadata, key, value.c_str(), 0);
    };
    if (recording_timestamp != 0) set("creation_time", IsoTime(recording_timestamp));
    set("title", title);
    set("author", author);
    set("copyright", copyright);
    set("comment", comment);
    set("album", album);
    if (year > 0) set("date", std::to_string(year));
    if (track > 0) set("track", std::to_string(track));
    set("genre", genre);
    for (const std::string& tag : output_metadata) {
        const size_t equals = tag.find('=');
        set(tag.substr(0, equals).c_str(), tag.substr(equals + 1));
    }
}

// The output must be one that can be written, must not be one of the
// inputs, and must not be another task's output. Nothing is created or
// changed on disk: the file is written under a temporary name once the task
// runs. The claim keeps the name taken for the tasks set up after this one.
void TCustomFFmpeg::PrepareOutputFile(const std::string& fileName, int output_index) {
    for (int file = 0; file < input_count; ++file) {
        const char* inputName = input_contexts[file]->url;
        if (inputName && SameFile(fileName, inputName))
            throw FFMpegException("Could not open '" + fileName + "': it is the input file itself");
    }
    const std::string refused = "Could not open '" + fileName + "'";
    const std::filesystem::path path(fileName);
    if (path.filename().string().size() > NAME_MAX)
        throw FFMpegException(refused, OutputReason(ENAMETOOLONG));
    // The file is made anew beside its final name, so it is its folder that must be writable.
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) throw FFMpegException(refused, OutputReason(errno));
    if (!S_ISDIR(status.st_mode)) throw FFMpegException(refused, OutputReason(ENOTDIR));
    if (::stat(fileName.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) throw FFMpegException(refused, OutputReason(EISDIR));
        if (!S_ISREG(status.st_mode)) throw FFMpegException(refused + ": not a regular file");
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) throw FFMpegException(refused, OutputReason(errno));
    if (!output_claims[output_index].Claim(fileName, this))
        throw FFMpegException(refused + ": another conversion writes it");
}

void TCustomFFmpeg::SetMuxerOptions(AVFormatContext* output) {
    output->max_delay = static_cast<int>(mux_max_delay * AV_TIME_BASE);
    // Both are private to the muxers that use them; the others refuse them.
    ff::av_opt_set_int(output, "preload", static_cast<int64_t>(mux_preload * AV_TIME_BASE), AV_OPT_SEARCH_CHILDREN);
    ff::av_opt_set_int(output, "loop", loop_output, AV_OPT_SEARCH_CHILDREN);
    ApplyOptionNames(output, format_option_context.get(), AV_OPT_FLAG_ENCODING_PARAM);
    ApplyPrivateOptions(output, TPrivateOptionOwner::Muxer, 0);
}

#include "OptionStateDescription.h"

#include <cstdio>
#include <string_view>
#include <variant>

#include "FFmpeg.h"
#include "OptionFields.h"

namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string FormatValue(int32_t value) { return std::to_string(value); }
std::string FormatValue(int64_t value) { return std::to_string(value); }
std::string FormatValue(uint8_t value) { return std::to_string(value); }
std::string FormatValue(float value) { return Number(value); }
std::string FormatValue(double value) { return Number(value); }
std::string FormatValue(const AVRational& value) {
    return std::to_string(value.num) + "/" + std::to_string(value.den);
}
std::string FormatValue(const AVInputFormat* format) { return format ? format->name : ""; }
std::string FormatValue(const AVOutputFormat* format) { return format ? format->name : ""; }
std::string FormatValue(const TLibraryString& text) { return text ? text.get() : ""; }

// One line per field: line breaks inside a text are shown as "\n".
std::string FormatValue(const std::string& text) {
    std::string shown;
    for (char c : text) {
        if (c == '\n') shown += "\\n";
        else if (c == '\r') shown += "\\r";
        else shown += c;
    }
    return shown;
}

template <class Items, class Format>
std::string Join(const Items& items, std::string_view separator, Format format) {
    std::string joined;
    for (const auto& item : items) {
        const std::string text = format(item);
        if (text.empty()) continue;
        if (!joined.empty()) joined += separator;
        joined += text;
    }
    return joined;
}

std::string FormatValue(const TQuantMatrix& matrix) {
    if (!matrix) return "";
    std::string text;
    for (int i = 0; i < 64; ++i) text += (i ? "," : "") + std::to_string(matrix[i]);
    return text;
}

std::string FormatValue(const std::array<int32_t, 4>& values) {
    return Join(values, ",", [](int32_t value) { return std::to_string(value); });
}

std::string FormatValue(const TBitstreamFilterChain& chain) {
    return Join(chain, ",", [](const TBitstreamFilterPtr& filter) {
        return std::string(filter && filter->filter ? filter->filter->name : "?");
    });
}

template <class Context>
std::string FormatValue(const std::array<Context, kMaxFiles>& contexts) {
    return Join(contexts, ", ", [](const Context& context) {
        return std::string(context ? (context->url ? context->url : "?") : "");
    });
}

std::string FormatValue(const std::vector<std::string>& names) {
    return Join(names, ",", [](const std::string& name) { return name; });
}

std::string FormatValue(const std::vector<TPrivateOption>& options) {
    return Join(options, ",", [](const TPrivateOption& option) {
        return option.name + "=" + option.value;
    });
}

// Fields whose meaning depends on a count or on a position.
std::string InputTsOffsets(const TCustomFFmpeg& e) {
    std::string text;
    for (int i = 0; i < e.input_count && i < kMaxFiles; ++i)
        text += (i ? "," : "") + std::to_string(e.input_ts_offsets[i]);
    return text;
}

std::string InputTsScales(const TCustomFFmpeg& e) {
    std::string text;
    for (int file = 0; file < kMaxFiles; ++file)
        for (int stream = 0; stream < kMaxStreams; ++stream)
            if (const double scale = e.input_ts_scales[file][stream]; scale != 0)
                text += (text.empty() ? "" : ", ") + std::to_string(file) + "." +
                        std::to_string(stream) + "=" + Number(scale);
    return text;
}

std::string StreamMaps(const TCustomFFmpeg& e) {
    std::string text;
    for (int i = 0; i < e.stream_map_count && i < kMaxStreamMaps; ++i) {
        const TStreamMap& map = e.stream_maps[i];
        text += (i ? ", " : "") + std::to_string(map.file_index) + "." +
                std::to_string(map.stream_index) + ":" + std::to_string(map.sync_file_index) +
                "." + std::to_string(map.sync_stream_index);
    }
    return text;
}

std::string MetaDataMaps(const TCustomFFmpeg& e) {
    std::string text;
    for (int i = 0; i < e.meta_data_map_count && i < kMaxMetaDataMaps; ++i)
        text += (i ? ", " : "") + std::to_string(e.meta_data_maps[i].out_file) + ":" +
                std::to_string(e.meta_data_maps[i].in_file);
    return text;
}

std::string StreamBitstreamFilters(const TCustomFFmpeg& e) {
    std::string text;
    for (int file = 0; file < kMaxFiles; ++file)
        for (int stream = 0; stream < kMaxStreams; ++stream)
            if (const auto& chain = e.stream_bitstream_filters[file][stream]; !chain.empty())
                text += (text.empty() ? "" : ", ") + std::to_string(file) + "." +
                        std::to_string(stream) + "=" + FormatValue(chain);
    return text;
}

template <auto Field>
std::string Plain(const TCustomFFmpeg& e) {
    return FormatValue(e.*Field);
}

struct FieldRow {
    std::string_view name;
    std::string (*format)(const TCustomFFmpeg&);
};

#define PLAIN(field) FieldRow{#field, &Plain<&TCustomFFmpeg::field>}
#define SPECIAL(field, formatter) FieldRow{#field, &formatter}

const FieldRow kFields[] = {
    PLAIN(input_contexts),
    PLAIN(input_count),
    SPECIAL(input_ts_offsets, InputTsOffsets),
    SPECIAL(input_ts_scales, InputTsScales),
    PLAIN(output_contexts),
    PLAIN(output_count),
    SPECIAL(stream_maps, StreamMaps),
    PLAIN(stream_map_count),
    SPECIAL(meta_data_maps, MetaDataMaps),
    PLAIN(meta_data_map_count),

    PLAIN(forced_input_format),
    PLAIN(forced_output_format),
    PLAIN(frame_width),
    PLAIN(frame_height),
    PLAIN(frame_aspect_ratio),
    PLAIN(frame_pix_fmt),
    PLAIN(audio_sample_fmt),
    PLAIN(frame_padtop),
    PLAIN(frame_padbottom),
    PLAIN(frame_padleft),
    PLAIN(frame_padright),
    PLAIN(padcolor_y),
    PLAIN(padcolor_u),
    PLAIN(padcolor_v),
    PLAIN(frame_croptop),
    PLAIN(frame_cropbottom),
    PLAIN(frame_cropleft),
    PLAIN(frame_cropright),
    PLAIN(max_frames),
    PLAIN(frame_rate),
    PLAIN(video_qscale),
    PLAIN(intra_matrix),
    PLAIN(inter_matrix),
    PLAIN(rc_override),
    PLAIN(video_codec_name),
    PLAIN(video_codec_tag),
    PLAIN(top_field_first),
    PLAIN(me_threshold),
    PLAIN(vfilters),
    PLAIN(audio_sample_rate),
    PLAIN(audio_channels),
    PLAIN(audio_codec_name),
    PLAIN(audio_codec_tag),
    PLAIN(subtitle_codec_name),
    PLAIN(audio_stream_copy),
    PLAIN(video_stream_copy),
    PLAIN(subtitle_stream_copy),
    PLAIN(video_bitstream_filters),
    PLAIN(audio_bitstream_filters),
    PLAIN(subtitle_bitstream_filters),
    SPECIAL(stream_bitstream_filters, StreamBitstreamFilters),

    PLAIN(recording_time),
    PLAIN(start_time),
    PLAIN(recording_timestamp),
    PLAIN(input_ts_offset),
    PLAIN(title),
    PLAIN(author),
    PLAIN(copyright),
    PLAIN(comment),
    PLAIN(genre),
    PLAIN(album),
    PLAIN(year),
    PLAIN(track),
    PLAIN(output_metadata),
    PLAIN(video_channel),
    PLAIN(video_standard),
    PLAIN(pass),
    PLAIN(vstats_file),
    PLAIN(vhook_active),
    PLAIN(verbose),
    PLAIN(thread_count),
    PLAIN(pgmyuv_mode),
    PLAIN(sws_flags),

    PLAIN(option_names),
    PLAIN(private_options),
    PLAIN(total_duration_ms),
};

#undef PLAIN
#undef SPECIAL

}  // namespace

TOptionStateLines DescribeOptionState(const TCustomFFmpeg& engine) {
    TOptionStateLines lines;
    for (const FieldRow& field : kFields) lines.emplace_back(field.name, field.format(engine));
    for (const TOptionFieldValue& field : OptionFieldValues(engine))
        lines.emplace_back(field.field, std::visit([](const auto& value) { return FormatValue(value); }, field.value));
    return lines;
}

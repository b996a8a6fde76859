// The option table: every named option the engine knows, how its value is
// read and where it goes. Dispatch is one walk over the rows in order; names
// no row takes go to the generic option contexts. A row that stores into a
// field of its own also says what that field holds after a reset and which
// values it takes, so that the reset, the range check and the description of
// the option state all come from the row.

#include <cstdio>
#include <limits>
#include <string_view>
#include <type_traits>
#include <variant>

#include "FFmpeg.h"
#include "OptionFields.h"
#include "TextConversion.h"

namespace {

enum class ValueKind {
    Ignored,      // logged and otherwise dropped
    Unsupported,  // refused
    Flag,         // the value is ignored and 1 is stored
    Int,
    Int64,
    Float,
    Text,
    Duration,     // text handed to a handler that reads a duration
    Date,         // text handed to a handler that reads a date
    None,         // an action that takes no value
};

// Frames-to-encode entry of one media kind.
struct MaxFramesEntry {
    int kind;
};

using Int32Field = int32_t TOptionState::*;
using ByteField = uint8_t TOptionState::*;
using Int64Field = int64_t TOptionState::*;
using FloatField = float TOptionState::*;
using StringField = std::string TOptionState::*;
using IntHandler = void (TCustomFFmpeg::*)(int32_t);
using FloatHandler = void (TCustomFFmpeg::*)(float);
using TextHandler = void (TCustomFFmpeg::*)(const std::string&);
// Handlers that also need the option's name ("b" or "ab", "vbsf" or "absf").
using NamedHandler = void (TCustomFFmpeg::*)(const std::string&, const std::string&);
using Action = void (TCustomFFmpeg::*)();

using Target = std::variant<std::monostate, Int32Field, ByteField, Int64Field, FloatField,
                            StringField, MaxFramesEntry, IntHandler, FloatHandler, TextHandler,
                            NamedHandler, Action>;

// The numbers a field takes; anything outside is refused.
struct ValueRange {
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
};

struct OptionRow {
    std::string_view name;
    ValueKind kind;
    Target target;
    // Rows that store into a field: the field's name, its value after a
    // reset (texts start empty) and the numbers it takes.
    std::string_view field = {};
    double initial = 0;
    ValueRange range = {};
};

using K = ValueKind;
using E = TCustomFFmpeg;
using S = TOptionState;
// A field target with its name, for the description of the option state.
#define FIELD(member) &S::member, #member

// What the engine gives a meaning to: the discard levels of the library, the
// bits of intra DC precision MPEG-2 knows, and a gain that cannot overflow a
// 16-bit sample scaled in 32 bits.
constexpr ValueRange kDiscardLevels{AVDISCARD_NONE, AVDISCARD_ALL};
constexpr ValueRange kIntraDcBits{8, 11};
constexpr ValueRange kVolumeGain{0, 65536};
// The colour matrices a device decodes with: BT.709 and BT.601 (SMPTE 170M),
// 0 leaving the pictures' own.
constexpr ValueRange kDeviceMatrices{AVCOL_SPC_RGB, AVCOL_SPC_SMPTE170M};
// An input stream's index, -1 for the first of its kind.
constexpr ValueRange kSourceStreams{-1, kMaxStreams - 1};
// Cover art wider than a screen only makes the file bigger.
constexpr ValueRange kPosterWidths{0, 4096};

}  // namespace

// The rows name handlers the engine keeps private: only the table reaches them.
struct TOptionTableRows {
    static constexpr OptionRow kRows[] = {
        {"L", K::Ignored, {}},
        {"h", K::Ignored, {}},
        {"version", K::Ignored, {}},
        {"formats", K::Ignored, {}},
        {"f", K::Text, &E::SetFormat},
        {"i", K::Ignored, {}},  // inputs are opened by the component
        {"y", K::Ignored, {}},
        {"map", K::Text, &E::AddStreamMap},
        {"map_meta_data", K::Text, &E::AddMetaDataMap},
        {"t", K::Duration, &E::SetRecordingTime},
        {"fs", K::Int64, FIELD(limit_filesize)},
        {"ss", K::Duration, &E::SetStartTimeText},
        {"itsoffset", K::Duration, &E::SetInputTsOffset},
        {"itsscale", K::Text, &E::SetInputTsScale},
        {"title", K::Text, &E::SetTitle},
        {"timestamp", K::Date, &E::SetRecordingTimestamp},
        {"author", K::Text, &E::SetAuthor},
        {"copyright", K::Text, &E::SetCopyright},
        {"comment", K::Text, &E::SetComment},
        {"genre", K::Text, &E::SetGenre},
        {"album", K::Text, &E::SetAlbum},
        {"metadata", K::Text, &E::AddOutputMetadata},
        {"poster", K::Int, FIELD(poster_width), 0, kPosterWidths},
        {"dframes", K::Int, MaxFramesEntry{AVMEDIA_TYPE_DATA}},
        {"benchmark", K::Ignored, {}},
        {"dump", K::Flag, FIELD(packet_dump)},
        {"hex", K::Flag, FIELD(hex_dump)},
        {"re", K::Flag, FIELD(rate_emulation)},
        {"loop_input", K::Flag, FIELD(loop_input)},
        {"loop_output", K::Int, FIELD(loop_output), -1},
        {"v", K::Int, &E::SetVerbose},
        {"target", K::Text, &E::SetTarget},
        {"threads", K::Unsupported, {}},
        {"vsync", K::Int, FIELD(video_sync_method), -1},
        {"async", K::Int, FIELD(audio_sync_method)},
        {"adrift_threshold", K::Float, FIELD(audio_drift_threshold), 0.1},
        {"vglobal", K::Int, FIELD(video_global_header)},
        {"copyts", K::Flag, FIELD(copy_ts)},
        {"shortest", K::Flag, FIELD(shortest)},
        {"dts_delta_threshold", K::Float, FIELD(dts_delta_threshold), 10.0},
        {"programid", K::Int, FIELD(program_id)},
        {"xerror", K::Flag, FIELD(exit_on_error)},
        {"b", K::Text, &E::SetBitrate},
        {"vb", K::Text, &E::SetBitrate},
        {"vframes", K::Int, MaxFramesEntry{AVMEDIA_TYPE_VIDEO}},
        {"r", K::Text, &E::SetFrameRate},
        {"s", K::Text, &E::SetFrameSize},
        {"aspect", K::Text, &E::SetAspectRatio},
        {"pix_fmt", K::Text, &E::SetPixelFormat},
        {"croptop", K::Int, &E::SetCropTop},
        {"cropbottom", K::Int, &E::SetCropBottom},
        {"cropleft", K::Int, &E::SetCropLeft},
        {"cropright", K::Int, &E::SetCropRight},
        {"padtop", K::Int, &E::SetPadTop},
        {"padbottom", K::Int, &E::SetPadBottom},
        {"padleft", K::Int, &E::SetPadLeft},
        {"padright", K::Int, &E::SetPadRight},
        {"padcolor", K::Int, &E::SetPadColor},
        {"intra", K::Flag, FIELD(intra_only)},
        {"vn", K::Flag, FIELD(video_disable)},
        {"vdt", K::Int, FIELD(video_discard), 0, kDiscardLevels},
        {"qscale", K::Float, &E::SetVideoQScale},
        {"rc_override", K::Text, &E::SetRcOverride},
        {"vcodec", K::Text, &E::SetVideoCodec},
        {"me_threshold", K::Int, &E::SetMeThreshold},
        {"sameq", K::Flag, FIELD(same_quality)},
        {"pass", K::Int, &E::SetPass},
        {"passlogfile", K::Text, FIELD(passlogfile)},
        {"deinterlace", K::Flag, FIELD(deinterlace)},
        {"keepshape", K::Flag, FIELD(keep_shape)},
        {"colorspace", K::Int, FIELD(output_colorspace), 0, kDeviceMatrices},
        {"tonemap", K::Flag, FIELD(tone_map)},
        {"psnr", K::Flag, FIELD(psnr)},
        {"vstats", K::None, &E::SetVstats},
        {"vstats_file", K::Text, &E::SetVstatsFile},
        {"vhook", K::Text, &E::AddVideoHook},
        {"vfilters", K::Text, &E::SetVideoFilters},
        {"intra_matrix", K::Text, &E::SetIntraMatrix},
        {"inter_matrix", K::Text, &E::SetInterMatrix},
        {"top", K::Int, &E::SetTopFieldFirst},
        {"dc", K::Int, FIELD(intra_dc_precision), 8, kIntraDcBits},
        {"vtag", K::Text, &E::SetVideoTag},
        {"newvideo", K::None, &E::AddNewVideo},
        {"qphist", K::Flag, FIELD(qp_hist)},
        {"ab", K::Text, &E::SetBitrate},
        {"aframes", K::Int, MaxFramesEntry{AVMEDIA_TYPE_AUDIO}},
        {"aq", K::Float, FIELD(audio_qscale), -99999},
        {"ar", K::Int, &E::SetAudioSampleRate},
        {"ac", K::Int, &E::SetAudioChannels},
        {"an", K::Flag, FIELD(audio_disable)},
        {"acodec", K::Text, &E::SetAudioCodec},
        {"atag", K::Text, &E::SetAudioTag},
        {"vol", K::Int, FIELD(audio_volume), 256, kVolumeGain},
        {"newaudio", K::None, &E::AddNewAudio},
        {"alang", K::Text, FIELD(audio_language)},
        {"astream", K::Int, FIELD(audio_source_stream), -1, kSourceStreams},
        {"sample_fmt", K::Text, &E::SetSampleFormat},
        {"sn", K::Flag, FIELD(subtitle_disable)},
        {"scodec", K::Text, &E::SetSubtitleCodec},
        {"newsubtitle", K::None, &E::AddNewSubtitle},
        {"slang", K::Text, FIELD(subtitle_language)},
        {"sstream", K::Int, FIELD(subtitle_source_stream), -1, kSourceStreams},
        {"burnsubs", K::Int, FIELD(burn_subtitle_stream), -1, kSourceStreams},
        {"vc", K::Int, &E::SetVideoChannel},
        {"tvstd", K::Text, &E::SetVideoStandard},
        {"isync", K::Flag, FIELD(input_sync)},
        {"muxdelay", K::Float, FIELD(mux_max_delay), 0.7},
        {"muxpreload", K::Float, FIELD(mux_preload), 0.5},
        {"absf", K::Text, &E::AddBitstreamFilter},
        {"vbsf", K::Text, &E::AddBitstreamFilter},
        {"sbsf", K::Text, &E::AddBitstreamFilter},
        {"apre", K::Ignored, {}},
        {"vpre", K::Ignored, {}},
        {"spre", K::Ignored, {}},
    };
};

namespace {

constexpr const auto& kOptionTable = TOptionTableRows::kRows;

#undef FIELD

constexpr bool StoresIntoField(const Target& t) {
    return std::holds_alternative<Int32Field>(t) || std::holds_alternative<ByteField>(t) ||
           std::holds_alternative<Int64Field>(t) || std::holds_alternative<FloatField>(t) ||
           std::holds_alternative<StringField>(t);
}

// Whether a row's target can take the value its kind reads.
constexpr bool TargetFitsKind(const OptionRow& row) {
    const Target& t = row.target;
    switch (row.kind) {
        case K::Ignored:
        case K::Unsupported:
            return std::holds_alternative<std::monostate>(t);
        case K::Flag:
            return std::holds_alternative<Int32Field>(t) || std::holds_alternative<ByteField>(t);
        case K::Int:
            return std::holds_alternative<Int32Field>(t) || std::holds_alternative<MaxFramesEntry>(t) ||
                   std::holds_alternative<IntHandler>(t);
        case K::Int64:
            return std::holds_alternative<Int64Field>(t);
        case K::Float:
            return std::holds_alternative<FloatField>(t) || std::holds_alternative<FloatHandler>(t);
        case K::Text:
            return std::holds_alternative<StringField>(t) || std::holds_alternative<TextHandler>(t) ||
                   std::holds_alternative<NamedHandler>(t);
        case K::Duration:
        case K::Date:
            return std::holds_alternative<TextHandler>(t);
        case K::None:
            return std::holds_alternative<Action>(t);
    }
    return false;
}

// A field row names its field and keeps its reset value inside its range;
// other rows carry neither.
constexpr bool FieldPartFitsTarget(const OptionRow& row) {
    if (!StoresIntoField(row.target))
        return row.field.empty() && row.initial == 0 && row.range.low == ValueRange{}.low &&
               row.range.high == ValueRange{}.high;
    return !row.field.empty() && row.initial >= row.range.low && row.initial <= row.range.high;
}

constexpr bool TableIsConsistent() {
    for (const OptionRow& row : kOptionTable)
        if (!TargetFitsKind(row) || !FieldPartFitsTarget(row)) return false;
    return true;
}
static_assert(TableIsConsistent(), "an option row's target cannot take its kind of value, or its field part is wrong");

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::string NumberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The converted number, once it lies in the row's range.
template <class Value>
Value InRange(const OptionRow& row, const std::string& name, const std::string& text, Value value) {
    if (value < row.range.low || value > row.range.high)
        throw FFMpegException("Value " + TrimText(text) + " of option " + name + " must lie between " +
                              NumberText(row.range.low) + " and " + NumberText(row.range.high));
    return value;
}

void ApplyRow(TCustomFFmpeg& engine, const OptionRow& row, const std::string& name,
              const std::string& value) {
    if (row.kind == K::Ignored) {
        engine.Log("Do nothing: option - " + name);
        return;
    }
    if (row.kind == K::Unsupported) throw FFMpegException("TODO: option - " + name);
    std::visit(Overloaded{
                   [](std::monostate) {},
                   [&](Int32Field field) {
                       engine.*field = row.kind == K::Flag ? 1 : InRange(row, name, value, TextToInt32(value));
                   },
                   [&](ByteField field) { engine.*field = 1; },
                   [&](Int64Field field) { engine.*field = InRange(row, name, value, TextToInt64(value)); },
                   [&](FloatField field) { engine.*field = InRange(row, name, value, TextToFloat(value)); },
                   [&](StringField field) { engine.*field = value; },
                   [&](MaxFramesEntry entry) { engine.max_frames[entry.kind] = TextToInt32(value); },
                   [&](IntHandler handler) { (engine.*handler)(TextToInt32(value)); },
                   [&](FloatHandler handler) { (engine.*handler)(TextToFloat(value)); },
                   [&](TextHandler handler) { (engine.*handler)(value); },
                   [&](NamedHandler handler) { (engine.*handler)(name, value); },
                   [&](Action action) { (engine.*action)(); },
               },
               row.target);
}

// Every kind of line break becomes a single line feed.
std::string NormaliseLineBreaks(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

}  // namespace

TOptionState::TOptionState() {
    for (const OptionRow& row : kOptionTable)
        std::visit(Overloaded{
                       [&](Int32Field field) { this->*field = static_cast<int32_t>(row.initial); },
                       [&](ByteField field) { this->*field = static_cast<uint8_t>(row.initial); },
                       [&](Int64Field field) { this->*field = static_cast<int64_t>(row.initial); },
                       [&](FloatField field) { this->*field = static_cast<float>(row.initial); },
                       [&](StringField field) { (this->*field).clear(); },
                       [](const auto&) {},
                   },
                   row.target);
}

std::vector<TOptionFieldValue> OptionFieldValues(const TOptionState& state) {
    std::vector<TOptionFieldValue> values;
    for (const OptionRow& row : kOptionTable)
        std::visit(Overloaded{
                       [&](Int32Field field) { values.push_back({row.field, int64_t{state.*field}}); },
                       [&](ByteField field) { values.push_back({row.field, int64_t{state.*field}}); },
                       [&](Int64Field field) { values.push_back({row.field, state.*field}); },
                       [&](FloatField field) { values.push_back({row.field, double{state.*field}}); },
                       [&](StringField field) { values.push_back({row.field, state.*field}); },
                       [](const auto&) {},
                   },
                   row.target);
    return values;
}

void TCustomFFmpeg::SetOption(const std::string& name, const std::string& value) {
    for (const OptionRow& row : kOptionTable) {
        if (row.name == name) {
            ApplyRow(*this, row, name, value);
            return;
        }
    }
    SetGenericOption(name, value);
}

void TCustomFFmpeg::ApplyOptionText(const std::string& text) {
    const std::string lines = NormaliseLineBreaks(TrimText(text));
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        const std::string line = lines.substr(start, end - start);
        start = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            SetOption(line, "");
        else
            SetOption(line.substr(0, equals), line.substr(equals + 1));
    }
}

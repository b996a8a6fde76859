#pragma once
// The engine's option state: what the named options, the typed setters and
// the input and output set-up leave for the transcoding core. A
// default-constructed TOptionState is the state after a reset: a field that
// an option row stores into takes its reset value from that row (its "{}"
// here only zeroes it until then); every other field carries it here. Fields marked "pending" describe the next input or
// the next output stream and are cleared once that has been created.
// Times are in microseconds unless said otherwise.

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "LibraryHandles.h"
#include "OnDemandArray.h"
#include "OutputClaims.h"
#include "PartialOutput.h"

// Bitstream filters applied in order to the packets of one stream; a new
// filter goes at the end. The contexts are allocated for their filter and
// initialised once the stream's parameters are known.
using TBitstreamFilterChain = std::vector<TBitstreamFilterPtr>;

constexpr int kMaxFiles = 20;          // inputs, and outputs
constexpr int kMaxStreams = 20;        // streams per file
constexpr int kMaxStreamMaps = 400;
constexpr int kMaxMetaDataMaps = 20;

// Media kinds, as numbered by the libraries.
constexpr int kMediaKindCount = 5;     // video, audio, data, subtitle, attachment

// One "map" option: which input stream feeds the next output stream, and the
// stream it keeps in step with.
struct TStreamMap {
    int32_t file_index = 0;
    int32_t stream_index = 0;
    int32_t sync_file_index = 0;
    int32_t sync_stream_index = 0;
};

// One "map_meta_data" option: whose metadata an output copies.
struct TMetaDataMap {
    int32_t out_file = 0;
    int32_t in_file = 0;
};

// Whose own option class accepted an option that the generic contexts do not
// know; its text is applied once that muxer or encoder is chosen.
enum class TPrivateOptionOwner { Muxer, Encoder };

struct TPrivateOption {
    std::string name;
    std::string value;
    TPrivateOptionOwner owner = TPrivateOptionOwner::Muxer;
    int flags = 0;  // the option's AV_OPT_FLAG_* bits (media kind, encoding)
};

// An output stream as the output set-up leaves it: the stream's own encoder
// context, filled but not opened, or for a stream copied without re-encoding
// a context that carries only the stream's kind.
struct TOutputStreamSetup {
    TCodecContextPtr encoder;
    bool stream_copy = false;
};

struct TOptionState {
    TOptionState();  // every row's reset value, see OptionTable.cpp

    // Files and maps.
    std::array<TInputContextPtr, kMaxFiles> input_contexts;
    int32_t input_count = 0;
    std::array<int64_t, kMaxFiles> input_ts_offsets{};
    TOnDemandArray<std::array<double, kMaxStreams>, kMaxFiles> input_ts_scales;  // 0 = none
    std::array<TOutputContextPtr, kMaxFiles> output_contexts;
    int32_t output_count = 0;
    TOnDemandArray<TStreamMap, kMaxStreamMaps> stream_maps;
    int32_t stream_map_count = 0;
    std::array<TMetaDataMap, kMaxMetaDataMaps> meta_data_maps{};
    int32_t meta_data_map_count = 0;

    // Formats, picture and audio.
    const AVInputFormat* forced_input_format = nullptr;    // pending
    const AVOutputFormat* forced_output_format = nullptr;  // pending
    int32_t frame_width = 0;   // 0 = from the input
    int32_t frame_height = 0;
    float frame_aspect_ratio = 0;  // 0 = unset
    int32_t frame_pix_fmt = -1;
    int32_t audio_sample_fmt = -1;
    int32_t frame_padtop = 0;
    int32_t frame_padbottom = 0;
    int32_t frame_padleft = 0;
    int32_t frame_padright = 0;
    int32_t padcolor_y = 16;
    int32_t padcolor_u = 128;
    int32_t padcolor_v = 128;
    int32_t frame_croptop = 0;
    int32_t frame_cropbottom = 0;
    int32_t frame_cropleft = 0;
    int32_t frame_cropright = 0;
    // Frames to encode per media kind: video, audio, data, subtitle.
    std::array<int32_t, 4> max_frames{std::numeric_limits<int32_t>::max(),
                                      std::numeric_limits<int32_t>::max(),
                                      std::numeric_limits<int32_t>::max(),
                                      std::numeric_limits<int32_t>::max()};
    AVRational frame_rate{0, 0};  // den 0 = unset
    float video_qscale = 0;       // 0 = unset
    TQuantMatrix intra_matrix;
    TQuantMatrix inter_matrix;
    TLibraryString rc_override;
    int32_t video_disable{};  // pending
    int32_t video_discard{};
    TLibraryString video_codec_name;  // pending
    int32_t video_codec_tag = 0;      // FourCC, first character in the low byte
    int32_t same_quality{};
    int32_t deinterlace{};
    // Fit the picture inside the frame at its own shape, with square pixels
    // and black bands, instead of stretching it and flagging a pixel aspect.
    int32_t keep_shape{};
    // The colour matrix the device decodes with (an AVColorSpace, BT.709 or
    // SMPTE 170M): pictures of another matrix or of full range are
    // converted to it at limited range, and the output says so. 0 leaves
    // the pictures' colours and description as decoded.
    int32_t output_colorspace{};
    // High-dynamic-range pictures (PQ, HLG, BT.2020) are tone mapped to
    // standard-range BT.709.
    int32_t tone_map{};
    int32_t top_field_first = -1;  // -1 = automatic
    int32_t me_threshold = 0;
    int32_t intra_dc_precision{};
    int32_t loop_input{};
    int32_t loop_output{};
    int32_t qp_hist{};
    std::string vfilters;
    int32_t intra_only{};
    int32_t audio_sample_rate = 44100;
    float audio_qscale{};  // -99999 = unset
    int32_t audio_disable{};  // pending
    int32_t audio_channels = 2;
    TLibraryString audio_codec_name;  // pending
    int32_t audio_codec_tag = 0;
    std::string audio_language;  // pending
    // The first input's stream the audio output takes; -1 for the first
    // audio stream.
    int32_t audio_source_stream = -1;
    // The first input's stream the subtitle output takes; -1 for the first
    // subtitle stream.
    int32_t subtitle_source_stream = -1;
    // The first input's subtitle stream drawn into the pictures; -1: none.
    int32_t burn_subtitle_stream = -1;
    int32_t subtitle_disable{};  // pending
    TLibraryString subtitle_codec_name;  // pending
    std::string subtitle_language;  // pending
    int32_t audio_stream_copy = 0;     // pending
    int32_t video_stream_copy = 0;     // pending
    int32_t subtitle_stream_copy = 0;  // pending
    TBitstreamFilterChain video_bitstream_filters;     // pending
    TBitstreamFilterChain audio_bitstream_filters;     // pending
    TBitstreamFilterChain subtitle_bitstream_filters;  // pending
    // Per output file and stream.
    TOnDemandArray<std::array<TBitstreamFilterChain, kMaxStreams>, kMaxFiles> stream_bitstream_filters;

    // Timing, muxing and metadata.
    int64_t recording_time = std::numeric_limits<int64_t>::max();
    int64_t start_time = 0;           // pending
    int64_t recording_timestamp = 0;  // seconds
    int64_t input_ts_offset = 0;
    float mux_preload{};    // seconds
    float mux_max_delay{};  // seconds
    std::string title;
    std::string author;
    std::string copyright;
    std::string comment;
    std::string genre;
    std::string album;
    int32_t year = 0;   // 0 = none
    int32_t track = 0;  // 0 = none
    // Further container tags, each "key=value" under the muxer's own key names.
    std::vector<std::string> output_metadata;
    // Above 0: MP4 and QuickTime outputs carry a picture of the input as their
    // cover art, at most this many pixels wide.
    int32_t poster_width{};
    int64_t limit_filesize{};  // bytes; 0 = none
    int32_t video_sync_method{};
    int32_t audio_sync_method{};
    float audio_drift_threshold{};  // seconds
    float dts_delta_threshold{};   // seconds
    uint8_t copy_ts{};
    int32_t shortest{};
    int32_t video_global_header{};  // bit 0: global header; bit 1: local header
    int32_t program_id{};           // 0 = all
    int32_t rate_emulation{};       // pending
    int32_t video_channel = 0;        // pending
    TLibraryString video_standard;
    int32_t audio_volume{};  // 256 = unchanged
    uint8_t exit_on_error{};
    int32_t input_sync{};
    int32_t hex_dump{};
    int32_t packet_dump{};
    int32_t psnr{};
    int32_t pass = 0;  // 1 or 2 for two passes; 0 = one pass
    std::string passlogfile;
    TLibraryString vstats_file;
    uint8_t vhook_active = 0;
    int32_t verbose = 1;
    int32_t thread_count = 1;
    int32_t pgmyuv_mode = 0;
    int32_t sws_flags = 4;  // bicubic

    // Names of the options that the generic contexts accepted, in order, once
    // per acceptance; the input and output set-up copies them onto the real
    // contexts.
    std::vector<std::string> option_names;
    // Options accepted by a muxer's or encoder's own option class.
    std::vector<TPrivateOption> private_options;

    // ---- Left by the input and output set-up for the transcoding core ----
    // Per input: one decoder context per stream (by stream index), filled
    // from the probed parameters and the decoding options, not opened.
    std::array<std::vector<TCodecContextPtr>, kMaxFiles> input_decoders;
    // Per input: read at the native frame rate ("re" when it was opened).
    std::array<int32_t, kMaxFiles> input_rate_emulation{};
    // Per output: its streams in index order.
    std::array<std::vector<TOutputStreamSetup>, kMaxFiles> output_streams;
    // Per output: its path, held from set-up to clean-up so that no other
    // task of this process is given or writes the same file.
    std::array<TOutputClaim, kMaxFiles> output_claims;
    // Per output: the temporary file it is written to while the run lasts.
    std::array<std::unique_ptr<TPartialOutput>, kMaxFiles> output_partials;
    uint8_t vfilters_active = 0;  // the output was created with "vfilters" set
};

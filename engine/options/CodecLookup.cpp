// Codec look-up by name and the copying of accepted generic options onto the
// contexts that input and output set-up create.

#include <cstring>

#include "FFmpeg.h"

AVCodecID TCustomFFmpeg::FindCodecId(const char* name, AVMediaType kind, bool encoder) {
    if (!name || !*name) return AV_CODEC_ID_NONE;
    const std::string role = encoder ? "encoder" : "decoder";
    const AVCodec* codec =
        encoder ? ff::avcodec_find_encoder_by_name(name) : ff::avcodec_find_decoder_by_name(name);
    // Most builds of the libraries lack libfaac; their own AAC encoder makes
    // the same kind of stream, so a profile that asks for libfaac still works.
    if (!codec && encoder && std::strcmp(name, "libfaac") == 0)
        codec = ff::avcodec_find_encoder_by_name("aac");
    if (!codec) throw FFMpegException("Unknown " + role + " '" + name + "'");
    if (codec->type != kind) throw FFMpegException("Invalid " + role + " type '" + name + "'");
    return codec->id;
}

void TCustomFFmpeg::ApplyOptionNames(void* target, void* option_context, int flags) {
    if (!target || !option_context) return;
    for (const std::string& name : option_names) {
        if (!ff::av_opt_find(option_context, name.c_str(), nullptr, flags, 0)) continue;
        uint8_t* value = nullptr;
        if (ff::av_opt_get(option_context, name.c_str(), 0, &value) < 0 || !value) continue;
        ff::av_opt_set(target, name.c_str(), reinterpret_cast<const char*>(value), 0);
        ff::av_free(value);
    }
}

// A private option that names a media kind reaches only encoders of that
// kind; a muxer's options reach every muxer that knows them. Targets that do
// not know an option refuse it, which is expected and ignored.
void TCustomFFmpeg::ApplyPrivateOptions(void* target, TPrivateOptionOwner owner, int kind_flag) {
    const int kindFlags = AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_SUBTITLE_PARAM;
    for (const TPrivateOption& option : private_options) {
        if (option.owner != owner) continue;
        if (kind_flag != 0 && (option.flags & kindFlags) != 0 && (option.flags & kind_flag) == 0) continue;
        ff::av_opt_set(target, option.name.c_str(), option.value.c_str(), AV_OPT_SEARCH_CHILDREN);
    }
}

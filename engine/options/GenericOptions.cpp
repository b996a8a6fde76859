// Options the option table does not know: handed to the option-holding codec,
// format and scaler contexts, whose names are then remembered so that input
// and output set-up can copy them onto the real contexts.

#include <string_view>

#include "FFmpeg.h"
#include "TextConversion.h"

namespace {

// The option flag each media kind's codec options carry; data and attachment
// contexts take any codec option.
constexpr int kMediaKindOptionFlags[kMediaKindCount] = {
    AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Older option names whose setting the libraries now know under another name.
struct Renaming {
    std::string_view old_name;
    std::string_view current_name;
};
constexpr Renaming kRenamings[] = {
    {"gop", "g"},
};

std::string CurrentName(const std::string& name) {
    for (const Renaming& renaming : kRenamings)
        if (renaming.old_name == name) return std::string(renaming.current_name);
    return {};
}

bool SetOn(void* context, const std::string& name, const std::string& value) {
    return context && !name.empty() && ff::av_opt_set(context, name.c_str(), value.c_str(), 0) >= 0;
}

// Whether a muxer's or an encoder's own class (a child of the class given)
// knows the option while the class itself does not.
const AVOption* FindPrivateOption(const AVClass* parent, const std::string& name) {
    const int flags = AV_OPT_FLAG_ENCODING_PARAM;
    if (ff::av_opt_find(&parent, name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ)) return nullptr;
    return ff::av_opt_find(&parent, name.c_str(), nullptr, flags,
                           AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ);
}

}  // namespace

std::string TCustomFFmpeg::SetOnGenericContexts(const std::string& name, const std::string& value) {
    AVCodecContext* videoOptions = codec_option_contexts[AVMEDIA_TYPE_VIDEO].get();
    // Every kind whose flag the option carries gets it; the last kind tried
    // decides whether it counts as set.
    bool set = false;
    for (int kind = 0; kind < kMediaKindCount; ++kind) {
        if (ff::av_opt_find(videoOptions, name.c_str(), nullptr, kMediaKindOptionFlags[kind], 0))
            set = SetOn(codec_option_contexts[kind].get(), name, value);
    }
    if (set) return name;
    if (SetOn(format_option_context.get(), name, value)) return name;
    if (SetOn(scaler_option_context.get(), name, value)) return name;

    // "ab", "vb" and the like: the setting without its kind letter, on the
    // codec context of that kind.
    const std::string rest = name.substr(1);
    int kind = -1;
    if (name[0] == 'a') kind = AVMEDIA_TYPE_AUDIO;
    if (name[0] == 'v') kind = AVMEDIA_TYPE_VIDEO;
    if (name[0] == 's') kind = AVMEDIA_TYPE_SUBTITLE;
    if (kind >= 0 && SetOn(codec_option_contexts[kind].get(), rest, value)) return rest;
    return {};
}

bool TCustomFFmpeg::KeepPrivateOption(const std::string& name, const std::string& value) {
    const AVOption* option = FindPrivateOption(ff::avformat_get_class(), name);
    TPrivateOptionOwner owner = TPrivateOptionOwner::Muxer;
    if (!option) {
        option = FindPrivateOption(ff::avcodec_get_class(), name);
        owner = TPrivateOptionOwner::Encoder;
    }
    if (!option) return false;
    private_options.push_back({name, value, owner, option->flags});
    return true;
}

bool TCustomFFmpeg::SetGenericOption(const std::string& name, const std::string& value) {
    if (TrimText(name).empty() || TrimText(value).empty()) return false;
    // Without option-holding contexts (no task prepared) nothing can take it.
    if (!codec_option_contexts[AVMEDIA_TYPE_VIDEO]) return false;

    std::string accepted = SetOnGenericContexts(name, value);
    const std::string currentName = CurrentName(name);
    if (accepted.empty() && !currentName.empty()) accepted = SetOnGenericContexts(currentName, value);
    if (accepted.empty() && KeepPrivateOption(name, value)) accepted = name;
    if (accepted.empty()) return false;
    option_names.push_back(accepted);

    // Library debugging output is useless unless its lines get through.
    if (codec_option_contexts[AVMEDIA_TYPE_VIDEO]->debug != 0 || format_option_context->debug != 0)
        SetVerbose(2);
    return true;
}

bool TCustomFFmpeg::SetGenericOptionInt(const std::string& name, int32_t value) {
    return SetGenericOption(name, std::to_string(value));
}

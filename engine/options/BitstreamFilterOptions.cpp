// Bitstream filters for the next output stream of each media kind ("vbsf",
// "absf", "sbsf").

#include <string>

#include "FFmpeg.h"
#include "TextConversion.h"

namespace {

TBitstreamFilterChain& ChainFor(TOptionState& state, const std::string& optionName) {
    if (optionName[0] == 'v') return state.video_bitstream_filters;
    if (optionName[0] == 'a') return state.audio_bitstream_filters;
    return state.subtitle_bitstream_filters;
}

}  // namespace

// The context is allocated now, so an unknown name fails while options are
// read; it is initialised once its stream's parameters are known. Text after
// "=" names filter arguments, which are not used.
void TCustomFFmpeg::AddBitstreamFilter(const std::string& name, const std::string& text) {
    if (name.empty() || text.empty() || text[0] == '=') return;
    const std::string filterName = text.substr(0, text.find('='));
    const AVBitStreamFilter* filter = ff::av_bsf_get_by_name(filterName.c_str());
    if (!filter) throw FFMpegException("Unknown bitstream filter " + TrimText(text));
    AVBSFContext* context = nullptr;
    if (ff::av_bsf_alloc(filter, &context) < 0)
        throw FFMpegException("Out of memory for bitstream filter " + filterName);
    TBitstreamFilterPtr owned(context);
    ChainFor(*this, name).push_back(std::move(owned));
}

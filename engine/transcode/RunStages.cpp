// The one place where a run's stages are built and joined: which pieces of
// the work get a thread of their own. Each stage is lent the library object
// it works on and given plain values; none holds on to the engine. Only a run
// that may take its outputs from later work does so: one that ends at a
// limit must end at the same picture, and one with several inputs chooses
// what to read next by what its outputs were given.

#include "FFmpeg.h"

namespace {

// Packets a decoder and frames an encoder may run ahead of the run's thread:
// enough to keep them busy while the run prepares the next picture, few
// enough to hold only a handful of pictures.
constexpr size_t kDecodeStageLag = 4;
constexpr size_t kEncodeStageLag = 4;

}  // namespace

bool TCustomFFmpeg::StagesAllowed() const { return decoder_threads != 1 && !StopsAtALimit(); }

void TCustomFFmpeg::BuildStages() {
    if (!StagesAllowed()) return;
    for (InputStreamState* ist : run.ist_table)
        if (ist->decoding_needed && ist->decoder->codec_type == AVMEDIA_TYPE_VIDEO)
            ist->decode_stage = &run.stages.Add<DecodeStage>(ist->decoder, kDecodeStageLag);
    if (run.input_files.size() != 1) return;
    for (OutputStreamState* ost : run.ost_table) {
        const AVMediaType kind = ost->encoder->codec_type;
        // Two-pass statistics are read from the encoder packet by packet.
        if (ost->encoding_needed && !ost->logfile && (kind == AVMEDIA_TYPE_VIDEO || kind == AVMEDIA_TYPE_AUDIO))
            ost->encode_stage = &run.stages.Add<EncodeStage>(ost->encoder, kEncodeStageLag);
    }
}

void TCustomFFmpeg::StopStages() {
    run.stages.JoinAll();
    for (InputStreamState* ist : run.ist_table) ist->decode_stage = nullptr;
    for (OutputStreamState* ost : run.ost_table) ost->encode_stage = nullptr;
}

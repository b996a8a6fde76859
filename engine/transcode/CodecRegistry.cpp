// Opening and closing the run's codecs. Every open and close holds the
// process-wide codec lock; every opened codec is registered, so that a run
// that fails midway still closes what it opened.

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "FormatText.h"
#include "LibraryBinding.h"
#include "RunTables.h"

namespace {

// What the encoder learnt while opening that its muxer needs to describe the
// stream; the rate-control buffer above all, which program-stream headers
// declare.
void CopyCodedSideData(const AVCodecContext* enc, AVStream* stream) {
    for (int i = 0; i < enc->nb_coded_side_data; ++i) {
        const AVPacketSideData& data = enc->coded_side_data[i];
        uint8_t* copy = ff::av_stream_new_side_data(stream, data.type, data.size);
        if (!copy) throw FFMpegException("av_mallocz fail");
        std::memcpy(copy, data.data, data.size);
    }
}

void CloseCodec(TCodecContextPtr& holder) {
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    if (holder) ff::av_freep(&holder->stats_in);
    holder.reset();
}

}  // namespace

void TCustomFFmpeg::OpenDecoders() {
    for (InputStreamState* ist : run.ist_table) {
        if (!ist->decoding_needed) continue;
        TCodecContextPtr& holder = input_decoders[ist->file_index][ist->stream_index];
        const AVCodecID id = ist->st->codecpar->codec_id;
        const AVCodec* codec = holder ? ff::avcodec_find_decoder(holder->codec_id) : nullptr;
        if (!codec)
            throw FFMpegException(FormatText("Unsupported codec (id=%d) for input stream #%d.%d", static_cast<int>(id),
                                             ist->file_index, ist->stream_index));
        if (!holder->pkt_timebase.num) holder->pkt_timebase = ist->st->time_base;
        // Decoding is most of a conversion's work: whole pictures in flight
        // at once where the codec allows it, else slices of one picture.
        // Pictures in flight reach the outputs later than the packets that
        // carry them are read, so a run that ends at a limit would take more
        // of them in; such a run decodes slices in parallel only, which
        // delays nothing.
        const bool delay_allowed = StagesAllowed();
        holder->thread_count = decoder_threads;
        holder->thread_type = delay_allowed ? FF_THREAD_FRAME | FF_THREAD_SLICE : FF_THREAD_SLICE;
        int result;
        {
            std::lock_guard<std::recursive_mutex> lock(CodecLock());
            result = ff::avcodec_open2(holder.get(), codec, nullptr);
        }
        if (result < 0)
            throw FFMpegException(
                FormatText("Error while opening codec for input stream #%d.%d", ist->file_index, ist->stream_index));
        opened_decoders.push_front(&holder);
        ist->decoder = holder.get();
    }
}

void TCustomFFmpeg::OpenEncoders() {
    for (OutputStreamState* ost : run.ost_table) {
        if (!ost->encoding_needed) continue;
        TCodecContextPtr& holder = output_streams[ost->file_index][ost->index].encoder;
        AVCodecContext* enc = holder.get();
        const AVCodec* codec = ff::avcodec_find_encoder(enc->codec_id);
        if (!codec)
            throw FFMpegException(
                FormatText("Unsupported codec for output stream #%d.%d", ost->file_index, ost->index));
        // Text subtitle encoders take their styles from the decoder's header.
        const AVCodecContext* dec = run.ist_table[ost->source_index]->decoder;
        if (enc->codec_type == AVMEDIA_TYPE_SUBTITLE && !enc->subtitle_header && dec && dec->subtitle_header) {
            enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(dec->subtitle_header_size + 1));
            if (!enc->subtitle_header) throw FFMpegException("av_mallocz fail");
            std::memcpy(enc->subtitle_header, dec->subtitle_header, dec->subtitle_header_size);
            enc->subtitle_header_size = dec->subtitle_header_size;
        }
        int result;
        {
            std::lock_guard<std::recursive_mutex> lock(CodecLock());
            result = ff::avcodec_open2(enc, codec, nullptr);
        }
        if (result < 0)
            throw FFMpegException(FormatText("Error while opening codec for output stream #%d.%d - maybe incorrect "
                                             "parameters such as bit_rate, rate, width or height",
                                             ost->file_index, ost->index));
        opened_encoders.push_front(&holder);
        extra_size += enc->extradata_size;
        if (ff::avcodec_parameters_from_context(ost->st->codecpar, enc) < 0) throw FFMpegException("av_mallocz fail");
        CopyCodedSideData(enc, ost->st);
        ost->st->time_base = enc->time_base;
    }
}

// Whether the main loop may end before the inputs do, at a point that
// depends on how far decoding has gone.
bool TCustomFFmpeg::StopsAtALimit() const {
    const bool frame_limit = std::any_of(max_frames.begin(), max_frames.end(),
                                         [](int32_t limit) { return limit != std::numeric_limits<int32_t>::max(); });
    return frame_limit || recording_time != std::numeric_limits<int64_t>::max() || limit_filesize != 0 || shortest;
}

void TCustomFFmpeg::CloseEncoder(OutputStreamState& ost) {
    TCodecContextPtr& holder = output_streams[ost.file_index][ost.index].encoder;
    opened_encoders.remove(&holder);
    CloseCodec(holder);
    ost.encoder = nullptr;
}

void TCustomFFmpeg::CloseDecoder(InputStreamState& ist) {
    TCodecContextPtr& holder = input_decoders[ist.file_index][ist.stream_index];
    opened_decoders.remove(&holder);
    CloseCodec(holder);
    ist.decoder = nullptr;
}

void TCustomFFmpeg::CloseOpenedCodecs() {
    for (TCodecContextPtr* holder : opened_encoders) CloseCodec(*holder);
    opened_encoders.clear();
    for (TCodecContextPtr* holder : opened_decoders) CloseCodec(*holder);
    opened_decoders.clear();
}

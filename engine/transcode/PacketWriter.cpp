// Every packet the engine produces leaves through WritePacket: through the
// stream's bitstream filters, in order, then to the muxer's interleaving
// writer, directly or through the file's writing stage.

#include <algorithm>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVProbe.h"
#include "FFmpeg.h"
#include "LibraryHandles.h"
#include "PathHelpers.h"
#include "RunTables.h"
#include "SystemReason.h"
#include "WriteStage.h"

// The filters of each stream's chain learn the stream's parameters, each one
// from the one before it; what the last one gives out is what the muxer gets.
// A filter that cannot work on the stream is reported like one that fails on
// a packet, and left out.
void TCustomFFmpeg::InitBitstreamFilters() {
    for (OutputStreamState* ost : run.ost_table) {
        TBitstreamFilterChain& chain = stream_bitstream_filters[ost->file_index][ost->index];
        const AVCodecParameters* parameters = ost->st->codecpar;
        AVRational time_base = ost->st->time_base;
        for (size_t index = 0; index < chain.size();) {
            AVBSFContext* filter = chain[index].get();
            if (ff::avcodec_parameters_copy(filter->par_in, parameters) < 0) throw FFMpegException("av_mallocz fail");
            filter->time_base_in = time_base;
            const int result = ff::av_bsf_init(filter);
            if (result < 0) {
                ReportFilterFailure(*ost, filter, ost->index, result);
                chain.erase(chain.begin() + static_cast<ptrdiff_t>(index));
                continue;
            }
            parameters = filter->par_out;
            time_base = filter->time_base_out;
            ++index;
        }
        if (!chain.empty() && ff::avcodec_parameters_copy(ost->st->codecpar, parameters) < 0)
            throw FFMpegException("av_mallocz fail");
    }
}

// Ends the run with "xerror"; otherwise logged, and the packet goes on
// unfiltered.
void TCustomFFmpeg::ReportFilterFailure(const OutputStreamState& ost, const AVBSFContext* filter, int stream_index,
                                        int code) {
    if (!log_handler && !exit_on_error) return;
    const std::string text = std::string(filter->filter->name) + " failed for stream " +
                             std::to_string(stream_index) + ", codec " +
                             (ost.stream_copy ? "copy" : ost.encoder->codec->name);
    const std::string message = FormatOpenErrorText(text, code);
    if (exit_on_error) throw FFMpegException(message);
    Log(0, message);
}

void TCustomFFmpeg::WritePacket(OutputStreamState& ost, AVPacket* pkt) {
    FilterAndWrite(ost, pkt, 0);
}

void TCustomFFmpeg::FilterAndWrite(OutputStreamState& ost, AVPacket* pkt, size_t filter_index) {
    TBitstreamFilterChain& chain = stream_bitstream_filters[ost.file_index][ost.index];
    if (filter_index < chain.size()) {
        AVBSFContext* filter = chain[filter_index].get();
        // The filter works on a reference, so that the packet can still go
        // on unfiltered when the filter refuses it.
        TPacketPtr copy(ff::av_packet_clone(pkt));
        int result = copy ? ff::av_bsf_send_packet(filter, copy.get()) : AVERROR(ENOMEM);
        TPacketPtr filtered(ff::av_packet_alloc());
        bool passed = false;
        while (result >= 0) {
            result = ff::av_bsf_receive_packet(filter, filtered.get());
            if (result < 0) break;
            ff::av_packet_rescale_ts(filtered.get(), filter->time_base_out, filter->time_base_in);
            FilterAndWrite(ost, filtered.get(), filter_index + 1);
            ff::av_packet_unref(filtered.get());
            passed = true;
        }
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF || passed) return;
        ReportFilterFailure(ost, filter, pkt->stream_index, result);
        FilterAndWrite(ost, pkt, filter_index + 1);
        return;
    }
    // Where the stream stands in the output, for choosing what to read next.
    const int64_t start = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (start != AV_NOPTS_VALUE) ost.written_end = std::max(ost.written_end, start + std::max<int64_t>(pkt->duration, 0));
    pkt->stream_index = ost.index;
    const size_t file = static_cast<size_t>(ost.file_index);
    if (file < run.write_stages.size()) {
        // A writing stage refuses a packet after a failed write, which names
        // the cause, or once it is closed.
        const bool accepted = run.write_stages[file]->Submit(pkt);
        if (!accepted) RefuseFailedWrite(file, run.write_stages[file]->Failure());
        RequireAccepted(accepted, *run.write_stages[file]);
    } else {
        RefuseFailedWrite(file, ff::av_interleaved_write_frame(run.output_files[file], pkt));
    }
    ++ost.packets_written;
}

// Waits until the file's writing stage has written everything handed to it,
// so that the file may be looked at or finished.
void TCustomFFmpeg::WaitForWriting(size_t file) {
    run.write_stages[file]->Drain();
    RefuseFailedWrite(file, run.write_stages[file]->Failure());
}

void TCustomFFmpeg::RefuseFailedWrite(size_t file, int result) const {
    if (result < 0)
        throw FFMpegWriteError(run.output_files[file]->url, "av_interleaved_write_frame(): Error while writing",
                               SystemReason(result));
}

// Filters that hold packets back give them up once told that no more come.
void TCustomFFmpeg::FlushBitstreamFilters(OutputStreamState& ost) {
    TBitstreamFilterChain& chain = stream_bitstream_filters[ost.file_index][ost.index];
    TPacketPtr filtered(ff::av_packet_alloc());
    for (size_t index = 0; index < chain.size(); ++index) {
        AVBSFContext* filter = chain[index].get();
        if (ff::av_bsf_send_packet(filter, nullptr) < 0) continue;
        while (ff::av_bsf_receive_packet(filter, filtered.get()) >= 0) {
            ff::av_packet_rescale_ts(filtered.get(), filter->time_base_out, filter->time_base_in);
            FilterAndWrite(ost, filtered.get(), index + 1);
            ff::av_packet_unref(filtered.get());
        }
    }
}

#include "FFmpeg.h"

#include <cstdlib>

#include "LibraryBinding.h"
#include "RunTables.h"

int32_t DefaultDecoderThreads() {
    const char* given = std::getenv("TOVRELA_DECODER_THREADS");
    if (!given || !*given) return 0;
    char* end = nullptr;
    const long count = std::strtol(given, &end, 10);
    return *end == '\0' && count >= 0 && count <= 64 ? static_cast<int32_t>(count) : 0;
}

TCustomFFmpeg::TCustomFFmpeg() : run_tables(std::make_unique<TranscodeRun>()), run(*run_tables) { ResetOptions(); }

TCustomFFmpeg::~TCustomFFmpeg() { CleanUp(); }

void TCustomFFmpeg::Initialize() {
    if (!LibrariesBound()) return;
    CleanUp();
    ResetOptions();
    CreateOptionContexts();
}

void TCustomFFmpeg::CreateOptionContexts() {
    for (int kind = 0; kind < kMediaKindCount; ++kind) {
        codec_option_contexts[kind].reset(ff::avcodec_alloc_context3(nullptr));
        if (!codec_option_contexts[kind]) throw FFMpegException("Cannot allocate the codec option contexts");
        codec_option_contexts[kind]->codec_type = static_cast<AVMediaType>(kind);
    }
    format_option_context.reset(ff::avformat_alloc_context());
    if (!format_option_context) throw FFMpegException("Cannot allocate the format option context");
    scaler_option_context.reset(ff::sws_getContext(16, 16, static_cast<AVPixelFormat>(0), 16, 16,
                                                   static_cast<AVPixelFormat>(0), sws_flags,
                                                   nullptr, nullptr, nullptr));
    if (!scaler_option_context) throw FFMpegException("Cannot allocate the scaler option context");
}

void TCustomFFmpeg::CleanUp() {
    if (!LibrariesBound()) return;
    for (auto& context : codec_option_contexts) context.reset();
    format_option_context.reset();
    scaler_option_context.reset();
    CloseOutputs();
    // Inputs, texts, matrices and filter chains are released with the state.
    static_cast<TOptionState&>(*this) = TOptionState();
    ReleaseVideoHooks();
}

// A temporary still there belongs to a run that failed: it goes, and the
// final name (with whatever file it holds) stays as it was.
void TCustomFFmpeg::CloseOutputs() {
    for (int index = 0; index < kMaxFiles; ++index) {
        output_contexts[index].reset();
        output_partials[index].reset();
        output_claims[index].Release();
    }
    output_count = 0;
}

void TCustomFFmpeg::ResetOptions() {
    static_cast<TOptionState&>(*this) = TOptionState();
    total_duration_ms = -1;
}

void TCustomFFmpeg::SetLogHandler(TLogHandler handler, void* user_data) {
    log_handler = handler;
    log_user_data = user_data;
}

void TCustomFFmpeg::Log(int level, const std::string& text) {
    if (log_handler) log_handler(log_user_data, this, level, text);
}

#include "HookTestSupport.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "FrameHook.h"
#include "TestMedia.h"

std::string RecorderModule() { return TOVRELA_HOOK_RECORDER; }
std::string ProcessOnlyModule() { return TOVRELA_HOOK_PROCESS_ONLY; }
std::string NoProcessModule() { return TOVRELA_HOOK_NO_PROCESS; }
std::string DrawBoxModule() { return TOVRELA_HOOK_DRAWBOX; }
std::string FrameCountModule() { return TOVRELA_HOOK_FRAMECOUNT; }

namespace {

template <typename Function>
Function JournalFunction(const std::string& module, const char* name) {
    BindTestLibraries();
    void* handle = HookModuleCache::Load(module);
    if (!handle) throw std::runtime_error("cannot load " + module);
    auto function = reinterpret_cast<Function>(dlsym(handle, name));
    if (!function) throw std::runtime_error(module + " keeps no journal");
    return function;
}

std::mutex g_captureMutex;
std::vector<std::string> g_captured;

void CaptureLine(void*, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    std::string line(1024, '\0');
    line.resize(std::min<size_t>(line.size() - 1, std::max(0, std::vsnprintf(line.data(), line.size(), format, arguments))));
    std::lock_guard<std::mutex> lock(g_captureMutex);
    g_captured.push_back(std::move(line));
}

}  // namespace

std::vector<std::string> Journal(const std::string& module) {
    std::istringstream text(JournalFunction<const char* (*)()>(module, "TestJournal")());
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

void ClearJournal(const std::string& module) { JournalFunction<void (*)()>(module, "ClearTestJournal")(); }

std::vector<std::string> JournalLines(const std::string& module, const std::string& start) {
    std::vector<std::string> lines;
    for (const std::string& line : Journal(module))
        if (line.rfind(start, 0) == 0) lines.push_back(line);
    return lines;
}

LibraryLogCapture::LibraryLogCapture() {
    BindTestLibraries();
    std::lock_guard<std::mutex> lock(g_captureMutex);
    g_captured.clear();
    ff::av_log_set_callback(CaptureLine);
}

LibraryLogCapture::~LibraryLogCapture() { ff::av_log_set_callback(ff::av_log_default_callback); }

std::vector<std::string> LibraryLogCapture::Lines() const {
    std::lock_guard<std::mutex> lock(g_captureMutex);
    return g_captured;
}

PlaneMeans DecodedPlaneMeans(const std::string& path) {
    BindTestLibraries();
    AVFormatContext* input = nullptr;
    if (ff::avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) throw std::runtime_error("cannot open " + path);
    ff::avformat_find_stream_info(input, nullptr);
    int stream = 0;
    while (input->streams[stream]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        if (++stream == static_cast<int>(input->nb_streams)) throw std::runtime_error("no video in " + path);
    const AVCodec* codec = ff::avcodec_find_decoder(input->streams[stream]->codecpar->codec_id);
    AVCodecContext* decoder = ff::avcodec_alloc_context3(codec);
    ff::avcodec_parameters_to_context(decoder, input->streams[stream]->codecpar);
    ff::avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = ff::av_packet_alloc();
    AVFrame* frame = ff::av_frame_alloc();
    PlaneMeans means;
    auto take = [&] {
        while (ff::avcodec_receive_frame(decoder, frame) >= 0) {
            double sums[3] = {0, 0, 0};
            for (int plane = 0; plane < 3; ++plane) {
                const int w = plane ? (frame->width + 1) / 2 : frame->width;
                const int h = plane ? (frame->height + 1) / 2 : frame->height;
                for (int row = 0; row < h; ++row)
                    for (int x = 0; x < w; ++x) sums[plane] += frame->data[plane][row * frame->linesize[plane] + x];
                sums[plane] /= static_cast<double>(w) * h;
            }
            means.y += sums[0];
            means.u += sums[1];
            means.v += sums[2];
            ++means.pictures;
        }
    };
    while (ff::av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == stream) ff::avcodec_send_packet(decoder, packet);
        ff::av_packet_unref(packet);
        take();
    }
    ff::avcodec_send_packet(decoder, nullptr);
    take();
    ff::av_frame_free(&frame);
    ff::av_packet_free(&packet);
    ff::avcodec_free_context(&decoder);
    ff::avformat_close_input(&input);
    if (means.pictures > 0) {
        means.y /= means.pictures;
        means.u /= means.pictures;
        means.v /= means.pictures;
    }
    return means;
}

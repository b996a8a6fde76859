#include "AacSections.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "AVCodecHlpr.h"
#include "AVFormatHlpr.h"
#include "LibraryHandles.h"

namespace {

class BitReader {
public:
    BitReader(const uint8_t* data, int size) : data_(data), bits_(static_cast<int64_t>(size) * 8) {}
    void AlignToByte() { position_ = (position_ + 7) / 8 * 8; }
    unsigned Read(int count) {
        unsigned value = 0;
        for (int i = 0; i < count; ++i) {
            if (position_ >= bits_) throw std::runtime_error("AAC block ends inside its first channel");
            value = value << 1 | ((data_[position_ >> 3] >> (7 - (position_ & 7))) & 1u);
            ++position_;
        }
        return value;
    }

private:
    const uint8_t* data_;
    int64_t bits_;
    int64_t position_ = 0;
};

constexpr unsigned kSingleChannel = 0;
constexpr unsigned kChannelPair = 1;
constexpr unsigned kDataElement = 4;
constexpr unsigned kFillElement = 6;
constexpr unsigned kEightShortWindows = 2;
constexpr unsigned kNoiseCodeBook = 13;

struct IcsInfo {
    bool shortWindows = false;
    unsigned maxBands = 0;
    int windowGroups = 1;
};

IcsInfo ReadIcsInfo(BitReader& bits) {
    IcsInfo info;
    bits.Read(1);  // reserved
    info.shortWindows = bits.Read(2) == kEightShortWindows;
    bits.Read(1);  // window shape
    if (info.shortWindows) {
        info.maxBands = bits.Read(4);
        const unsigned grouping = bits.Read(7);
        for (int bit = 0; bit < 7; ++bit) info.windowGroups += (grouping >> bit & 1u) ? 0 : 1;
    } else {
        info.maxBands = bits.Read(6);
        if (bits.Read(1)) throw std::runtime_error("AAC block uses prediction, which AAC-LC has not");
    }
    return info;
}

// Whether any section of the channel is coded with the noise code book.
bool SectionsUseNoise(BitReader& bits, const IcsInfo& info) {
    const int lengthBits = info.shortWindows ? 3 : 5;
    const unsigned escape = (1u << lengthBits) - 1;
    bool noise = false;
    for (int group = 0; group < info.windowGroups; ++group) {
        for (unsigned band = 0; band < info.maxBands;) {
            const unsigned codeBook = bits.Read(4);
            unsigned length = 0, increment = 0;
            do {
                increment = bits.Read(lengthBits);
                length += increment;
            } while (increment == escape);
            if (length == 0) throw std::runtime_error("AAC section of no bands");
            noise = noise || codeBook == kNoiseCodeBook;
            band += length;
        }
    }
    return noise;
}

// Data and fill elements carry no sound; they are passed over.
void SkipElement(BitReader& bits, unsigned element) {
    unsigned bytes = 0;
    if (element == kFillElement) {
        bytes = bits.Read(4);
        if (bytes == 15) bytes += bits.Read(8) - 1;
    } else {
        bits.Read(4);  // element instance tag
        const bool aligned = bits.Read(1);
        bytes = bits.Read(8);
        if (bytes == 255) bytes += bits.Read(8);
        if (aligned) bits.AlignToByte();
    }
    for (unsigned i = 0; i < bytes; ++i) bits.Read(8);
}

bool FirstChannelUsesNoise(const uint8_t* data, int size) {
    BitReader bits(data, size);
    unsigned element = bits.Read(3);
    while (element == kFillElement || element == kDataElement) {
        SkipElement(bits, element);
        element = bits.Read(3);
    }
    bits.Read(4);  // element instance tag
    if (element == kSingleChannel) {
        bits.Read(8);  // global gain
        return SectionsUseNoise(bits, ReadIcsInfo(bits));
    }
    if (element != kChannelPair)
        throw std::runtime_error("AAC block starts with element " + std::to_string(element) + ", not a channel");
    if (!bits.Read(1)) {  // no common window: each channel has its own
        bits.Read(8);
        return SectionsUseNoise(bits, ReadIcsInfo(bits));
    }
    const IcsInfo info = ReadIcsInfo(bits);
    if (bits.Read(2) == 1)
        for (int group = 0; group < info.windowGroups; ++group)
            for (unsigned band = 0; band < info.maxBands; ++band) bits.Read(1);  // mid/side per band
    bits.Read(8);
    return SectionsUseNoise(bits, info);
}

}  // namespace

AacSectionCount CountAacNoiseSections(const std::string& path) {
    AVFormatContext* opened = nullptr;
    if (ff::avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + path);
    TInputContextPtr input(opened);
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i)
        if (input->streams[i]->codecpar->codec_id == AV_CODEC_ID_AAC) index = static_cast<int>(i);
    if (index < 0) throw std::runtime_error("no AAC audio in " + path);
    AacSectionCount count;
    TPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && packet->size > 0) {
            ++count.blocks;
            count.blocksWithNoise += FirstChannelUsesNoise(packet->data, packet->size) ? 1 : 0;
        }
        ff::av_packet_unref(packet.get());
    }
    return count;
}

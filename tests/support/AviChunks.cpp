#include "AviChunks.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

void Walk(const std::vector<uint8_t>& file, size_t begin, size_t end, std::vector<AviChunk>& chunks) {
    size_t at = begin;
    while (at + 8 <= end) {
        const std::string id(reinterpret_cast<const char*>(&file[at]), 4);
        const uint32_t size = ReadLe32(file, at + 4);
        const size_t payload = at + 8;
        const size_t stop = std::min(end, payload + size);
        if (id == "RIFF" || id == "LIST") {
            if (payload + 4 > stop) break;
            chunks.push_back({std::string(reinterpret_cast<const char*>(&file[payload]), 4), payload + 4, size - 4});
            Walk(file, payload + 4, stop, chunks);
        } else {
            chunks.push_back({id, payload, size});
        }
        at = payload + size + (size & 1);
    }
}

}  // namespace

std::vector<AviChunk> AviChunks(const std::vector<uint8_t>& file) {
    std::vector<AviChunk> chunks;
    Walk(file, 0, file.size(), chunks);
    return chunks;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t offset) {
    return uint32_t{bytes.at(offset)} | uint32_t{bytes.at(offset + 1)} << 8 | uint32_t{bytes.at(offset + 2)} << 16 |
           uint32_t{bytes.at(offset + 3)} << 24;
}

void WriteLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + static_cast<size_t>(i)) = static_cast<uint8_t>(value >> (8 * i));
}

void WriteLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

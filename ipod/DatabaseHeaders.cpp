#include "DatabaseHeaders.h"

#include <fstream>
#include <iterator>

namespace {

uint32_t Little32(const std::string& bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

}  // namespace

std::optional<uint32_t> TrackCountInHeaders(const std::string& itunesDbPath) {
    std::ifstream file(itunesDbPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 24 || bytes.compare(0, 4, "mhbd") != 0) return std::nullopt;
    // The file's sections ("mhsd") follow its header; the first of type 1
    // opens with the track list header ("mhlt"), whose third word is the count.
    size_t at = Little32(bytes, 4);
    const uint32_t sections = Little32(bytes, 20);
    for (uint32_t i = 0; i < sections && at + 16 <= bytes.size(); ++i) {
        if (bytes.compare(at, 4, "mhsd") != 0) return std::nullopt;
        const uint32_t headerLength = Little32(bytes, at + 4);
        const uint32_t length = Little32(bytes, at + 8);
        if (Little32(bytes, at + 12) == 1) {
            const size_t list = at + headerLength;
            if (list + 12 > bytes.size() || bytes.compare(list, 4, "mhlt") != 0) return std::nullopt;
            return Little32(bytes, list + 8);
        }
        if (length < 16) return std::nullopt;
        at += length;
    }
    return std::nullopt;
}


#pragma once
// The chunks of an AVI file held in memory, for tests that damage a file or
// rewrite header fields that the libraries' own writer never sets the way
// other writers do.

#include <cstdint>
#include <string>
#include <vector>

struct AviChunk {
    std::string id;      // "strh", "00dc", ...; a list's own type ("movi", "strl")
    size_t offset = 0;   // of the payload in the file
    uint32_t size = 0;   // of the payload
};

// Every chunk in file order, lists and the chunks inside them alike.
std::vector<AviChunk> AviChunks(const std::vector<uint8_t>& file);

std::vector<uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t offset);
void WriteLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void WriteLe16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);

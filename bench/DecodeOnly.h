#pragma once
// Decoding a file alone, with every core: the floor a conversion of the same
// file cannot go below.

#include <string>

// Decodes every audio and video packet of the file and drains the decoders;
// throws std::runtime_error naming the file and the step that failed.
void DecodeWholeFile(const std::string& path);

#pragma once

#include <cstdint>
#include <string>

// Rewrites `source` packet for packet into `target` (the muxer chosen by its
// extension), with every packet from `fromUs` on moved `shiftUs` later: a
// file whose timestamps jump. Only the stream `onlyStream` moves when it is
// not -1. Requires bound libraries; throws std::runtime_error naming the
// step that failed.
void WriteCopyWithJump(const std::string& source, const std::string& target, int64_t fromUs, int64_t shiftUs,
                       int onlyStream = -1);

// Rewrites the audio of `source` alone into the AVI file `target` the way
// constant-rate MP3 is often stored: its clock counts bytes, not frames.
void WriteByteClockedAudio(const std::string& source, const std::string& target);

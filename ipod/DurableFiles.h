#pragma once
// Writing files on an iPod so that they survive it being pulled out: a file
// and the folder that names it are flushed to the device before anything
// depends on them, and a file that replaces another is written whole under a
// name of its own first.

#include <string>

// Flushes the file's or the folder's contents to the device. False with the
// system's reason.
bool SyncPath(const std::string& path, std::string& error);
// Copies `from` to `to` (replacing it) through a temporary name beside it,
// flushed before the rename and the folder after it.
bool CopyDurably(const std::string& from, const std::string& to, std::string& error);
// Writes `contents` as the whole of `path` (replacing it) the same way.
bool WriteDurably(const std::string& path, const std::string& contents, std::string& error);
// Removes the file and flushes its folder; true when it is gone.
bool RemoveDurably(const std::string& path);

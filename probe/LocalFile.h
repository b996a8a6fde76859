#pragma once
// Paths a person gives are local files, never library protocols: "pipe:0.avi"
// or "file:x.avi" are names of files like any other. And only regular files
// are media files here: a FIFO or a device would block the open for ever.

#include <string>

// The URL under which the libraries open `path` as a local file.
std::string LocalFileUrl(const std::string& path);
// The refusal text for a path that exists but is no regular file (a FIFO, a
// device, a socket, a folder); empty otherwise, a missing file included, so
// that the open reports that itself.
std::string NotARegularFileText(const std::string& path);

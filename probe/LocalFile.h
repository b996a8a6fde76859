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

// What keeps a path from being read as a media file before any library
// looks at its content.
enum class TLocalFileProblem {
    None,
    NotLocal,     // a network address ("http://..."), which is no file here
    CannotOpen,   // the system refused it; see the error number
    NotRegular,   // a folder, FIFO, device or socket
    Empty,        // 0 bytes
};
struct TLocalFileCheck {
    TLocalFileProblem problem = TLocalFileProblem::None;
    int errorNumber = 0;  // for CannotOpen
};
TLocalFileCheck CheckLocalFile(const std::string& path);

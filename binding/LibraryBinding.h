#pragma once

#include <mutex>
#include <string>

// Binds the FFmpeg libraries and the C run-time once per process. An empty
// folder uses the system's ordinary library search; otherwise the folder's
// copies are used. `versioned` chooses "libavutil.so.57" over "libavutil.so".
// Any failure releases every library again and leaves its message in
// BindErrorText().
bool BindLibraries(const std::string& folder, bool versioned);
void UnbindLibraries();
bool LibrariesBound();
std::string BindErrorText();

// Held around every codec open and close and around the stream analysis of an
// input, which the libraries do not make safe across threads.
std::recursive_mutex& CodecLock();

// The libraries' log level on the engine's scale (-1 quiet ... 3 everything),
// cached so that log lines can be filtered without asking the library.
int CachedLogLevel();
void SetCachedLogLevel(int engineLevel);

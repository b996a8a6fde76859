#pragma once

#include <stdexcept>
#include <string>

// The engine's own error: every failure that ends an option, a set-up step or
// a transcoding run is raised as one of these, carrying the message a person
// sees and, apart from it, the system's reason when the system gave one (a
// full disk, missing rights), so that a front end can word it its own way.
// The full text is the message followed by ": " and the reason.
class FFMpegException : public std::runtime_error {
public:
    explicit FFMpegException(const std::string& message, const std::string& reason = {})
        : std::runtime_error(reason.empty() ? message : message + ": " + reason), message_(message), reason_(reason) {}
    const std::string& Message() const { return message_; }
    const std::string& Reason() const { return reason_; }

private:
    std::string message_;
    std::string reason_;
};

// A packet the decoder refused: the run goes on without it, unless it is to
// end at the first error ("xerror").
class FFMpegDecodeError : public FFMpegException {
public:
    using FFMpegException::FFMpegException;
};

// A failure to write an output file, which names the file under its final
// name: a person is told which file could not be written and why, while the
// message, with the library call that failed, goes to the log.
class FFMpegWriteError : public FFMpegException {
public:
    FFMpegWriteError(const std::string& file, const std::string& message, const std::string& reason)
        : FFMpegException(message, reason), file_(file) {}
    const std::string& File() const { return file_; }

private:
    std::string file_;
};

// The failure of opening a media file with that library result
// code: the open-error message for the name, and the system's reason.
FFMpegException MediaFileError(const std::string& name, int resultCode);

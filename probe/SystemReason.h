#pragma once
// The system's own words for the failures a person can act on (a full disk,
// missing rights, too many open files, a name too long, a read-only file
// system), so that messages say why a file could not be opened or written.

#include <string>

// "No space left on device" and the like for such a library result code
// (AVERROR(errno)); empty for every other code.
std::string SystemReason(int resultCode);
// The same for a plain errno value.
std::string SystemReasonOfErrno(int errorNumber);
// The reason as it follows a message: ": No space left on device", or empty.
std::string SystemReasonSuffix(int resultCode);

#include "SystemReason.h"

#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
}

std::string SystemReasonOfErrno(int errorNumber) {
    switch (errorNumber) {
        case ENOSPC:
        case EDQUOT:
        case EACCES:
        case EMFILE:
        case ENFILE:
        case ENAMETOOLONG:
        case EROFS:
        case EFBIG:
        case ENOTDIR:
        case ELOOP:
        case EISDIR: return std::strerror(errorNumber);
        default: return "";
    }
}

std::string SystemReason(int resultCode) {
    return resultCode < 0 ? SystemReasonOfErrno(AVUNERROR(resultCode)) : "";
}

namespace {

std::string AsSuffix(const std::string& reason) { return reason.empty() ? reason : ": " + reason; }

}  // namespace


std::string SystemReasonSuffix(int resultCode) { return AsSuffix(SystemReason(resultCode)); }

#include "SystemReason.h"

#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
}

std::string SystemReasonSuffixOfErrno(int errorNumber) {
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
        case EISDIR: return std::string(": ") + std::strerror(errorNumber);
        default: return "";
    }
}

std::string SystemReasonSuffix(int resultCode) {
    return resultCode < 0 ? SystemReasonSuffixOfErrno(AVUNERROR(resultCode)) : "";
}

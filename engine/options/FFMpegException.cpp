#include "FFMpegException.h"

#include "AVProbe.h"
#include "SystemReason.h"

FFMpegException MediaFileError(const std::string& name, int resultCode) {
    return FFMpegException(OpenErrorMessage(name, resultCode), SystemReason(resultCode));
}

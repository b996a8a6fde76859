#include "LocalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::string LocalFileUrl(const std::string& path) { return "file:" + path; }

std::string NotARegularFileText(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return "";
    return path + ": Error while opening file: not a regular file";
}

namespace {

// "http://host/x.avi" and the like: a scheme of letters, then "://".
bool LooksLikeNetworkAddress(const std::string& path) {
    const size_t colon = path.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = path[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return false;
    }
    return true;
}

}  // namespace

TLocalFileCheck CheckLocalFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        const int error = errno;
        if (LooksLikeNetworkAddress(path)) return {TLocalFileProblem::NotLocal, 0};
        return {TLocalFileProblem::CannotOpen, error};
    }
    if (!S_ISREG(status.st_mode)) return {TLocalFileProblem::NotRegular, 0};
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return {TLocalFileProblem::CannotOpen, errno};
    ::close(descriptor);
    if (status.st_size == 0) return {TLocalFileProblem::Empty, 0};
    return {};
}

#include "LocalFile.h"

#include <sys/stat.h>

std::string LocalFileUrl(const std::string& path) { return "file:" + path; }

std::string NotARegularFileText(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return "";
    return path + ": Error while opening file: not a regular file";
}

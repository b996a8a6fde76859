#include "DefaultOutputFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        *found->pw_dir)
        return found->pw_dir;
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? "." : current.string();
}

}  // namespace

std::string DefaultOutputFolder() {
    std::string home = HomeFolder();
    if (home.back() != '/') home += '/';
    return home + "My iPod Files/";
}

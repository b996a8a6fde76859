// The per-frame video statistics file ("vstats", "vstats_file").

#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "FFmpeg.h"
#include "LibraryString.h"

namespace {

// The folder of the running program, with its trailing separator.
std::string ProgramFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "./";
    return program.parent_path().string() + "/";
}

// The local time of day as six digits, hours first.
std::string TimeOfDayDigits() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char digits[8];
    std::strftime(digits, sizeof digits, "%H%M%S", &local);
    return digits;
}

}  // namespace

void TCustomFFmpeg::SetVstatsFile(const std::string& name) {
    if (name.empty()) return;
    vstats_file = DuplicateLibraryString(name);
}

void TCustomFFmpeg::SetVstats() {
    vstats_file = DuplicateLibraryString(ProgramFolder() + "vstats_" + TimeOfDayDigits() + ".log");
}

#include "DatabaseCheck.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>

#include "DatabaseReport.h"

namespace {

namespace fs = std::filesystem;

// A reader that runs longer than this is taken to be stuck in a damaged file.
constexpr std::chrono::seconds kReaderPatience{120};

constexpr char kReaderName[] = "tovrela-ipod-reader";

// The reader sits beside the running program, or where it is installed, or
// (for a program run from its build folder) where it was built.
std::optional<std::string> ReaderProgram() {
    std::error_code error;
    const fs::path running = fs::read_symlink("/proc/self/exe", error);
    for (const fs::path& candidate : {error ? fs::path() : running.parent_path() / kReaderName,
                                      fs::path(TOVRELA_INSTALLED_READER), fs::path(TOVRELA_BUILT_READER)}) {
        if (!candidate.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return std::nullopt;
}

bool HasLine(const std::string& report, const std::string& line) {
    return ("\n" + report).find("\n" + line + "\n") != std::string::npos;
}

std::string RefusalIn(const std::string& report) {
    const size_t at = ("\n" + report).find(std::string("\n") + kReportRefused);
    if (at == std::string::npos) return {};
    const size_t start = at + sizeof kReportRefused - 1;
    return report.substr(start, report.find('\n', start) - start);
}

}  // namespace

TDatabaseCheck CheckDatabaseApart(const std::string& mount) {
    TDatabaseCheck check;
    const std::optional<std::string> reader = ReaderProgram();
    if (!reader) {
        check.State = TDatabaseState::Unreadable;
        check.Message = std::string("the program that reads iPod databases (") + kReaderName +
                        ") is missing; reinstall Tovrela";
        return check;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        check.State = TDatabaseState::Unreadable;
        check.Message = "no process could be started to read it";
        return check;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    // libgpod prints some of its complaints itself; the report says enough.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string program = *reader;
    std::string folder = mount;
    char* arguments[] = {program.data(), folder.data(), nullptr};
    pid_t child = -1;
    if (posix_spawn(&child, program.c_str(), &actions, nullptr, arguments, environ) != 0) child = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    std::string report;
    const auto giveUp = std::chrono::steady_clock::now() + kReaderPatience;
    bool stuck = false;
    while (child > 0) {
        pollfd ready{ends[0], POLLIN, 0};
        const int waited = ::poll(&ready, 1, 1000);
        if (waited < 0 && errno != EINTR) break;
        if (std::chrono::steady_clock::now() >= giveUp) {
            stuck = true;
            ::kill(child, SIGKILL);
            break;
        }
        if (waited <= 0) continue;
        char buffer[512];
        const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        report.append(buffer, static_cast<size_t>(got));
    }
    ::close(ends[0]);
    int status = 0;
    while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const bool finished = child > 0 && !stuck && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (child < 0) {
        check.State = TDatabaseState::Unreadable;
        check.Message = "no process could be started to read it";
    } else if (!finished) {
        check.State = HasLine(report, kReportTracksRead) ? TDatabaseState::ArtworkDamaged : TDatabaseState::Damaged;
    } else if (const std::string refusal = RefusalIn(report); !refusal.empty()) {
        check.State = TDatabaseState::Unreadable;
        check.Message = refusal;
    } else if (HasLine(report, kReportIncomplete) || !HasLine(report, kReportAllRead)) {
        check.State = TDatabaseState::Incomplete;
    }
    check.ArtworkUnreadable = HasLine(report, kReportNoArtwork);
    return check;
}

#include "DatabaseCheck.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "GpodHandles.h"

namespace {

namespace fs = std::filesystem;

uint32_t Little32(const std::string& bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

// What the child reports, one word a line, before it exits.
constexpr char kTracksRead[] = "tracks-read";
constexpr char kAllRead[] = "all-read";
constexpr char kIncomplete[] = "incomplete";
constexpr char kNoArtwork[] = "artwork-unreadable";
constexpr char kRefused[] = "refused ";

// A reader that runs longer than this is taken to be stuck in a damaged file.
constexpr std::chrono::seconds kReaderPatience{120};

void CountWarning(const gchar*, GLogLevelFlags level, const gchar*, gpointer warnings) {
    if (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) ++*static_cast<int*>(warnings);
}

bool AnyArtworkFile(const std::string& mount) {
    TGTextPtr folder(itdb_get_artwork_dir(mount.c_str()));
    if (!folder) return false;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder.get(), error)) {
        std::error_code sizeError;
        if (entry.path().extension() == ".ithmb" && entry.file_size(sizeError) > 0 && !sizeError) return true;
    }
    return false;
}

bool AnyTrackHasArtwork(Itdb_iTunesDB* database) {
    for (GList* item = database->tracks; item; item = item->next)
        if (itdb_track_has_thumbnails(static_cast<Itdb_Track*>(item->data))) return true;
    return false;
}

void Say(int pipe, const std::string& line) {
    const std::string text = line + "\n";
    if (::write(pipe, text.data(), text.size()) < 0) _exit(1);
}

// Runs in the child: reads the track database alone, then everything, and
// says how far it got.
[[noreturn]] void ReadAndReport(const std::string& mount, int pipe) {
    // libgpod prints some of its complaints itself; the report says enough.
    const int nothing = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nothing >= 0) {
        ::dup2(nothing, STDOUT_FILENO);
        ::dup2(nothing, STDERR_FILENO);
    }
    int warnings = 0;
    g_log_set_default_handler(CountWarning, &warnings);
    TGTextPtr path(itdb_get_itunesdb_path(mount.c_str()));
    if (!path) {
        Say(pipe, std::string(kRefused) + "it has no database");
        _exit(0);
    }
    TGErrorSlot failure;
    {
        TGpodDatabasePtr tracksOnly(itdb_parse_file(path.get(), failure.Out()));
        if (!tracksOnly) {
            Say(pipe, kRefused + failure.Message());
            _exit(0);
        }
    }
    Say(pipe, kTracksRead);
    TGpodDatabasePtr database(itdb_parse(mount.c_str(), failure.Out()));
    if (!database) {
        Say(pipe, kRefused + failure.Message());
        _exit(0);
    }
    Say(pipe, kAllRead);
    const std::optional<uint32_t> listed = TrackCountInHeaders(path.get());
    if (warnings > 0 || (listed && *listed != itdb_tracks_number(database.get()))) Say(pipe, kIncomplete);
    if (itdb_device_supports_artwork(database->device) && !AnyTrackHasArtwork(database.get()) &&
        AnyArtworkFile(mount))
        Say(pipe, kNoArtwork);
    _exit(0);
}

bool HasLine(const std::string& report, const std::string& line) {
    return ("\n" + report).find("\n" + line + "\n") != std::string::npos;
}

std::string RefusalIn(const std::string& report) {
    const size_t at = ("\n" + report).find(std::string("\n") + kRefused);
    if (at == std::string::npos) return {};
    const size_t start = at + sizeof kRefused - 1;
    return report.substr(start, report.find('\n', start) - start);
}

}  // namespace

std::optional<uint32_t> TrackCountInHeaders(const std::string& itunesDbPath) {
    std::ifstream file(itunesDbPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 24 || bytes.compare(0, 4, "mhbd") != 0) return std::nullopt;
    // The file's sections ("mhsd") follow its header; the first of type 1
    // opens with the track list header ("mhlt"), whose third word is the count.
    size_t at = Little32(bytes, 4);
    const uint32_t sections = Little32(bytes, 20);
    for (uint32_t i = 0; i < sections && at + 16 <= bytes.size(); ++i) {
        if (bytes.compare(at, 4, "mhsd") != 0) return std::nullopt;
        const uint32_t headerLength = Little32(bytes, at + 4);
        const uint32_t length = Little32(bytes, at + 8);
        if (Little32(bytes, at + 12) == 1) {
            const size_t list = at + headerLength;
            if (list + 12 > bytes.size() || bytes.compare(list, 4, "mhlt") != 0) return std::nullopt;
            return Little32(bytes, list + 8);
        }
        if (length < 16) return std::nullopt;
        at += length;
    }
    return std::nullopt;
}

TDatabaseCheck CheckDatabaseApart(const std::string& mount) {
    TDatabaseCheck check;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        check.State = TDatabaseState::Unreadable;
        check.Message = "no process could be started to read it";
        return check;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        ReadAndReport(mount, ends[1]);
    }
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
        check.State = HasLine(report, kTracksRead) ? TDatabaseState::ArtworkDamaged : TDatabaseState::Damaged;
    } else if (const std::string refusal = RefusalIn(report); !refusal.empty()) {
        check.State = TDatabaseState::Unreadable;
        check.Message = refusal;
    } else if (HasLine(report, kIncomplete) || !HasLine(report, kAllRead)) {
        check.State = TDatabaseState::Incomplete;
    }
    check.ArtworkUnreadable = HasLine(report, kNoArtwork);
    return check;
}

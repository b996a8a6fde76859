// tovrela-ipod-reader MOUNT: reads an iPod's database the way the program
// will, and reports how far it got on standard output. A damaged database can
// make libgpod abort or crash, so this runs as a process of its own; a fresh
// program (not a fork of one with threads running) cannot inherit a lock
// another thread held and hang on it.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "DatabaseHeaders.h"
#include "DatabaseReport.h"
#include "GpodHandles.h"

namespace {

namespace fs = std::filesystem;

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

// Each line goes out at once, so what was read before a crash is reported.
void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// Leaves without tearing down what libgpod read: its objects may be half
// built when the database was damaged.
[[noreturn]] void Leave() {
    std::fflush(stdout);
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tovrela-ipod-reader MOUNT\n", stderr);
        return 2;
    }
    const std::string mount = argv[1];
    int warnings = 0;
    g_log_set_default_handler(CountWarning, &warnings);
    TGTextPtr path(itdb_get_itunesdb_path(mount.c_str()));
    if (!path) {
        Say(std::string(kReportRefused) + "it has no database");
        Leave();
    }
    TGErrorSlot failure;
    if (!TGpodDatabasePtr(itdb_parse_file(path.get(), failure.Out()))) {
        Say(kReportRefused + failure.Message());
        Leave();
    }
    Say(kReportTracksRead);
    TGpodDatabasePtr database(itdb_parse(mount.c_str(), failure.Out()));
    if (!database) {
        Say(kReportRefused + failure.Message());
        Leave();
    }
    Say(kReportAllRead);
    const std::optional<uint32_t> listed = TrackCountInHeaders(path.get());
    if (warnings > 0 || (listed && *listed != itdb_tracks_number(database.get()))) Say(kReportIncomplete);
    if (itdb_device_supports_artwork(database->device) && !AnyTrackHasArtwork(database.get()) &&
        AnyArtworkFile(mount))
        Say(kReportNoArtwork);
    Leave();
}

// Sending videos to iPods made in temporary folders with libgpod itself, and
// reading their databases back the way the iPod would.

#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <gpod/itdb.h>

#include "CommandRun.h"
#include "ComponentTestSupport.h"
#include "GpodHandles.h"

namespace fs = std::filesystem;

namespace {

struct IpodKind {
    const char* model;
    bool firewireGuid;  // its database must be signed
    bool keep;          // "--no-keep" when false
};
void PrintTo(const IpodKind& kind, std::ostream* stream) { *stream << kind.model; }

// An empty iPod in `folder`, as iTunes leaves a freshly restored one.
void MakeIpod(const fs::path& folder, const char* model, bool firewireGuid) {
    if (firewireGuid) {
        fs::create_directories(folder / "iPod_Control/Device");
        WriteFile(folder / "iPod_Control/Device/SysInfo", "FirewireGuid: 0x000A27001C0FFEE5\n");
    }
    GError* error = nullptr;
    ASSERT_TRUE(itdb_init_ipod(folder.c_str(), model, "Test iPod", &error)) << (error ? error->message : "");
}

std::vector<std::string> FilesOnIpod(const fs::path& mount) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(mount / "iPod_Control/Music"))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    return files;
}

CommandResult Cli(std::vector<std::string> words) {
    words.insert(words.begin(), TOVRELA_CLI);
    return RunCommand(words);
}

// A converted clip that the iPod plays, made once for the whole program.
const std::string& PlayableFile() {
    static const std::string path = [] {
        const fs::path folder = fs::temp_directory_path() / ("tovrela-ipod-test-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        const CommandResult made = Cli({"convert", "--output-folder", folder.string(), ClipPath("video_only.avi")});
        EXPECT_EQ(made.status, 0) << made.err;
        return (folder / "video_only.mp4").string();
    }();
    return path;
}

class IpodSend : public ::testing::TestWithParam<IpodKind> {};

TEST_P(IpodSend, ConvertedFilesAreListedWithTitleKindArtworkAndFile) {
    BindComponentTestLibraries();
    const IpodKind& kind = GetParam();
    const fs::path ipod = ScratchFolder() / "ipod";
    const fs::path out = ScratchFolder() / "out";
    MakeIpod(ipod, kind.model, kind.firewireGuid);
    const fs::path show = ScratchFolder() / "Some.Show.S01E02.avi";
    fs::copy_file(ClipPath("video_only.avi"), show);

    const CommandResult listed = Cli({"ipods", ipod.string()});
    EXPECT_NE(listed.out.find("\"Test iPod\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("can receive videos"), std::string::npos) << listed.out;

    std::vector<std::string> words = {"convert", "--to-ipod", ipod.string(), "--output-folder", out.string()};
    if (!kind.keep) words.push_back("--no-keep");
    words.insert(words.end(), {show.string(), ClipPath("wmv_wmv2_wmav2.wmv")});
    const CommandResult run = Cli(words);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("Completed, on iPod"), std::string::npos) << run.out;
    EXPECT_EQ(fs::exists(out / "Some.Show.S01E02.mp4"), kind.keep);
    EXPECT_TRUE(fs::exists(ipod / "iPod_Control/iTunes/iTunesDB.tovrela-backup"));

    GError* error = nullptr;
    TGpodDatabasePtr database(itdb_parse(ipod.c_str(), &error));
    ASSERT_TRUE(database) << (error ? error->message : "");
    ASSERT_EQ(itdb_tracks_number(database.get()), 2u);
    std::map<std::string, Itdb_Track*> tracks;
    for (GList* item = database->tracks; item; item = item->next) {
        Itdb_Track* track = static_cast<Itdb_Track*>(item->data);
        tracks[track->title] = track;
        EXPECT_TRUE(itdb_track_has_thumbnails(track)) << track->title;
        EXPECT_GT(track->tracklen, 1500);
        TGTextPtr file(itdb_filename_on_ipod(track));
        ASSERT_TRUE(file);
        EXPECT_EQ(fs::file_size(file.get()), track->size);
    }
    ASSERT_TRUE(tracks.count("Some Show S01E02"));
    EXPECT_EQ(tracks["Some Show S01E02"]->mediatype, static_cast<guint32>(ITDB_MEDIATYPE_TVSHOW));
    EXPECT_STREQ(tracks["Some Show S01E02"]->tvshow, "Some Show");
    EXPECT_EQ(tracks["Some Show S01E02"]->season_nr, 1u);
    EXPECT_EQ(tracks["Some Show S01E02"]->episode_nr, 2u);
    ASSERT_TRUE(tracks.count("Tovrela test clip"));  // the input's own title tag
    EXPECT_EQ(tracks["Tovrela test clip"]->mediatype, static_cast<guint32>(ITDB_MEDIATYPE_MOVIE));
    if (kind.firewireGuid) {
        // The signature sits at offset 0x58 of the database's header.
        const std::string bytes = ReadFile(ipod / "iPod_Control/iTunes/iTunesDB");
        ASSERT_GT(bytes.size(), 0x58u + 20);
        EXPECT_NE(bytes.substr(0x58, 20), std::string(20, '\0'));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, IpodSend,
                         ::testing::Values(IpodKind{"MA002", false, true}, IpodKind{"MB029", true, false}),
                         [](const auto& info) { return std::string(info.param.model); });

TEST(IpodList, SaysWhyAnIpodOrFolderCannotTakeVideos) {
    const fs::path classic = ScratchFolder() / "classic";
    MakeIpod(ScratchFolder() / "classic", "MB029", true);
    // Without the ID its database cannot be signed.
    fs::remove(classic / "iPod_Control/Device/SysInfoExtended");
    WriteFile(classic / "iPod_Control/Device/SysInfo", "ModelNumStr: MB029\n");
    const CommandResult listed = Cli({"ipods", classic.string(), ScratchFolder().string()});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("FirewireGuid"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(ScratchFolder().string() + ": not an iPod"), std::string::npos) << listed.out;
}

// Each fault leaves the database as it was and no file in the music folders.
enum class Fault { TruncatedDatabase, Full, ReadOnly, DatabaseWriteFails };
void PrintTo(Fault fault, std::ostream* stream) { *stream << static_cast<int>(fault); }

class IpodFault : public ::testing::TestWithParam<Fault> {
protected:
    void TearDown() override {
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
    }
    // Mounting needs root; the suite runs as root in CI.
    bool Mount(const char* source, const fs::path& target, const char* type, unsigned long flags,
               const char* data) {
        fs::create_directories(target);
        if (::geteuid() != 0 || ::mount(source, target.c_str(), type, flags, data) != 0) return false;
        mounts_.push_back(target.string());
        return true;
    }
    std::vector<std::string> mounts_;
};

TEST_P(IpodFault, LeavesTheDatabaseAndNoOrphanFile) {
    BindComponentTestLibraries();
    const std::string file = PlayableFile();
    fs::path ipod = ScratchFolder() / "ipod";
    switch (GetParam()) {
        case Fault::TruncatedDatabase:
            MakeIpod(ipod, "MA002", false);
            fs::resize_file(ipod / "iPod_Control/iTunes/iTunesDB", 40);
            break;
        case Fault::Full: {
            if (!Mount("tovrela-test", ipod, "tmpfs", 0, "size=256k")) GTEST_SKIP() << "mounting a tmpfs needs root";
            MakeIpod(ipod, "MA002", false);
            // Leaves room for the database, not for the video.
            const auto free = fs::space(ipod).available;
            if (free > 48 * 1024) WriteFile(ipod / "filler", std::string(free - 48 * 1024, 'x'));
            break;
        }
        case Fault::DatabaseWriteFails:
            // The new database's temporary name is taken by a folder.
            MakeIpod(ipod, "MA002", false);
            fs::create_directory(ipod / "iPod_Control/iTunes/iTunesDB.tovrela-new");
            break;
        case Fault::ReadOnly: {
            const fs::path writable = ScratchFolder() / "writable";
            MakeIpod(writable, "MA002", false);
            if (!Mount(writable.c_str(), ipod, nullptr, MS_BIND, nullptr) ||
                !Mount(nullptr, ipod, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr))
                GTEST_SKIP() << "a read-only bind mount needs root";
            break;
        }
    }
    const std::string before = ReadFile(ipod / "iPod_Control/iTunes/iTunesDB");
    const CommandResult sent = Cli({"send", ipod.string(), file});
    EXPECT_EQ(sent.status, 1);
    EXPECT_NE(sent.err.find(ipod.string()), std::string::npos) << sent.err;
    const char* const kCauses[] = {"cannot be read", "not enough room", "Read-only file system",
                                   "database was left as it was"};
    EXPECT_NE(sent.err.find(kCauses[static_cast<int>(GetParam())]), std::string::npos) << sent.err;
    EXPECT_EQ(ReadFile(ipod / "iPod_Control/iTunes/iTunesDB"), before);
    EXPECT_TRUE(FilesOnIpod(ipod).empty());
    EXPECT_TRUE(fs::exists(file));
}

std::string FaultName(const ::testing::TestParamInfo<Fault>& info) {
    static const char* const kNames[] = {"TruncatedDatabase", "Full", "ReadOnly", "DatabaseWriteFails"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Faults, IpodFault,
                         ::testing::Values(Fault::TruncatedDatabase, Fault::Full, Fault::ReadOnly,
                                                           Fault::DatabaseWriteFails),
                         FaultName);

}  // namespace

// Sending videos to iPods made in temporary folders with libgpod itself, and
// reading their databases back the way the iPod would.

#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "../../cli/EventLoop.h"
#include "CommandRun.h"
#include "ComponentTestSupport.h"
#include "FolderSync.h"
#include "IpodBackups.h"
#include "IpodLibrary.h"
#include "IpodLock.h"
#include "IpodSender.h"
#include "IpodTestSupport.h"
#include "LibraryHandles.h"
#include "MediaWriter.h"
#include "MediaFacts.h"
#include "Remux.h"
#include "SourceFilm.h"

namespace fs = std::filesystem;

namespace {

struct IpodKind {
    const char* model;
    bool firewireGuid;  // its database must be signed
    bool keep;          // "--no-keep" when false
};
void PrintTo(const IpodKind& kind, std::ostream* stream) { *stream << kind.model; }

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

// Inputs of several foreign muxers go on both kinds of iPod, made for the
// iPod's model (H.264 for both), each listed with its title, kind and artwork.
TEST_P(IpodSend, ConvertedFilesAreListedWithTitleKindArtworkAndFile) {
    BindComponentTestLibraries();
    const IpodKind& kind = GetParam();
    const fs::path ipod = ScratchFolder() / "ipod";
    const fs::path out = ScratchFolder() / "out";
    ASSERT_EQ(MakeTestIpod(ipod, kind.model, kind.firewireGuid), "");
    const fs::path show = ScratchFolder() / "Some.Show.S01E02.avi";
    fs::copy_file(ClipPath("video_only.avi"), show);
    const fs::path movie = ScratchFolder() / "Some.Movie.2009.720p.BluRay.x264-GRP.avi";
    fs::copy_file(ClipPath("video_only.avi"), movie);
    const fs::path inSeason = ScratchFolder() / "A Show/Season 03/04 - From Folders.avi";
    fs::create_directories(inSeason.parent_path());
    fs::copy_file(ClipPath("video_only.avi"), inSeason);

    const CommandResult listed = Cli({"ipods", ipod.string()});
    EXPECT_NE(listed.out.find("\"Test iPod\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("can receive videos"), std::string::npos) << listed.out;

    std::vector<std::string> words = {"convert", "--to-ipod", ipod.string(), "--output-folder", out.string()};
    if (!kind.keep) words.push_back("--no-keep");
    words.insert(words.end(), {show.string(), movie.string(), inSeason.string(), ClipPath("avi_mpeg4_mp3.avi"), ClipPath("mpeg_ps_mpeg2_mp2.mpg"),
                               ClipPath("wmv_wmv2_wmav2.wmv"), ClipPath("mov_mpeg4_aac.mov")});
    const CommandResult run = Cli(words);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("Completed, on iPod"), std::string::npos) << run.out;
    EXPECT_EQ(fs::exists(out / "Some.Show.S01E02.m4v"), kind.keep);
    EXPECT_EQ(fs::exists(ipod / "iPod_Control/iTunes/Tovrela Backups"), true);

    std::string error;
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(tracks.size(), 7u);
    std::multimap<std::string, TTestIpodTrack> byTitle;
    for (const TTestIpodTrack& track : tracks) {
        byTitle.emplace(track.Title, track);
        EXPECT_TRUE(track.HasArtwork) << track.Title;
        EXPECT_GT(track.LengthMs, 1500) << track.Title;
        ASSERT_FALSE(track.File.empty()) << track.Title;
        EXPECT_EQ(fs::file_size(track.File), track.Size) << track.Title;
    }
    ASSERT_EQ(byTitle.count("Episode 2"), 1u);
    const TTestIpodTrack& episode = byTitle.find("Episode 2")->second;
    EXPECT_EQ(episode.Kind, "TV show");
    EXPECT_EQ(episode.EpisodeId, "S01E02");
    ASSERT_EQ(byTitle.count("Some Movie"), 1u);
    EXPECT_EQ(byTitle.find("Some Movie")->second.Year, 2009);
    EXPECT_EQ(episode.Show, "Some Show");
    EXPECT_EQ(episode.Season, 1u);
    EXPECT_EQ(episode.Episode, 2u);
    ASSERT_EQ(byTitle.count("From Folders"), 1u);
    const TTestIpodTrack& fromFolders = byTitle.find("From Folders")->second;
    EXPECT_EQ(fromFolders.Kind + " " + fromFolders.Show + " " + fromFolders.EpisodeId, "TV show A Show S03E04");
    ASSERT_EQ(byTitle.count("mpeg ps mpeg2 mp2"), 1u);  // named after the file
    EXPECT_EQ(byTitle.find("mpeg ps mpeg2 mp2")->second.Kind, "movie");
    EXPECT_EQ(byTitle.count("Tovrela test clip"), 3u);  // the inputs' own title tags
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

// The fifth generation plays MPEG-4 only up to 480x480: a larger file is
// not sent, and a conversion for it is made smaller, saying so first.
// The iPod's "Chapters" menu reads the database's chapters, not the file's.
TEST(IpodChapters, AFilmsChaptersGoIntoTheDatabase) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    const fs::path film = ScratchFolder() / "film.mkv";
    WriteSourceFilm({.width = 320, .height = 240, .chapters = {{0, 500000, "Opening"}, {500000, 1000000, "Close"}}},
                    film.string());
    const CommandResult run = Cli({"convert", "--to-ipod", ipod.string(), "--output-folder",
                                   (ScratchFolder() / "out").string(), film.string()});
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    std::string error;
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(tracks.size(), 1u) << error;
    // libgpod counts the first chapter from its first millisecond.
    ASSERT_EQ(tracks[0].Chapters.size(), 2u);
    EXPECT_EQ(tracks[0].Chapters[0].second, "Opening");
    EXPECT_LE(tracks[0].Chapters[0].first, 1u);
    EXPECT_EQ(tracks[0].Chapters[1].second, "Close");
    EXPECT_NEAR(tracks[0].Chapters[1].first, 500, 1);
}

TEST(IpodModel, FifthGenerationGetsMpeg4OfAtMost480x480) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    const fs::path large = ScratchFolder() / "large";
    const CommandResult made =
        Cli({"convert", "--size", "640x480", "--output-folder", large.string(), ClipPath("video_only.avi")});
    ASSERT_EQ(made.status, 0) << made.err;
    const CommandResult sent = Cli({"send", ipod.string(), (large / "video_only.mp4").string()});
    EXPECT_NE(sent.status, 0);
    EXPECT_NE(sent.err.find("too wide for the fifth-generation iPod: 640 > 480"), std::string::npos) << sent.err;

    const CommandResult run = Cli({"convert", "--to-ipod", ipod.string(), "--device", "ipod", "--size", "640x480",
                                   "--no-keep", "--output-folder", (ScratchFolder() / "out").string(),
                                   ClipPath("video_only.avi")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("frame size 640x480 is larger than the fifth-generation iPod plays: using 480x360"),
              std::string::npos)
        << run.err;
    std::string error;
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(tracks.size(), 1u) << error;
    TMediaFacts facts;
    ASSERT_TRUE(ReadMediaFacts(tracks[0].File, facts, error)) << error;
    ASSERT_TRUE(facts.Video);
    EXPECT_EQ(facts.Video->Width, 480);
}

TEST(IpodList, SaysWhyAnIpodOrFolderCannotTakeVideos) {
    const fs::path classic = ScratchFolder() / "classic";
    ASSERT_EQ(MakeTestIpod(classic, "MB029", true), "");
    // Without the ID its database cannot be signed.
    fs::remove(classic / "iPod_Control/Device/SysInfoExtended");
    WriteFile(classic / "iPod_Control/Device/SysInfo", "ModelNumStr: MB029\n");
    const CommandResult listed = Cli({"ipods", classic.string(), ScratchFolder().string()});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("FirewireGuid"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(ScratchFolder().string() + ": not an iPod"), std::string::npos) << listed.out;
}

// Each fault leaves the databases, the artwork and the music folders as they
// were, and the program standing.
enum class Fault {
    TruncatedDatabase,
    Full,
    ReadOnly,
    DatabaseWriteFails,
    Removed,
    UnsupportedModel,
    DamagedArtworkDatabase,
    HalfReadDatabase,
    WrongFirewireGuid,
};
constexpr const char* kFaultNames[] = {"TruncatedDatabase",      "Full",
                                       "ReadOnly",               "DatabaseWriteFails",
                                       "Removed",                "UnsupportedModel",
                                       "DamagedArtworkDatabase", "HalfReadDatabase",
                                       "WrongFirewireGuid"};

// The databases and the artwork, by name, with their bytes.
std::map<std::string, std::string> LibraryFiles(const fs::path& ipod) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (const char* folder : {"iPod_Control/iTunes", "iPod_Control/Artwork"})
        for (const auto& entry : fs::directory_iterator(ipod / folder, error))
            if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFile(entry.path());
    return files;
}

// Overwrites four bytes of the file at `at`.
void Damage(const fs::path& file, size_t at, const char* bytes) {
    std::string content = ReadFile(file);
    ASSERT_LT(at + 4, content.size());
    content.replace(at, 4, bytes, 4);
    WriteFile(file, content);
}
void PrintTo(Fault fault, std::ostream* stream) { *stream << kFaultNames[static_cast<int>(fault)]; }

// File systems mounted for one test, taken away again at its end.
class TestMounts {
public:
    TestMounts() = default;
    ~TestMounts() {
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
    }
    TestMounts(const TestMounts&) = delete;
    TestMounts& operator=(const TestMounts&) = delete;
    // Mounting needs root; the suite runs as root in CI.
    bool Mount(const char* source, const fs::path& target, const char* type, unsigned long flags,
               const char* data) {
        fs::create_directories(target);
        if (::geteuid() != 0 || ::mount(source, target.c_str(), type, flags, data) != 0) return false;
        mounts_.push_back(target.string());
        return true;
    }

private:
    std::vector<std::string> mounts_;
};

class IpodFault : public ::testing::TestWithParam<Fault> {
protected:
    bool Mount(const char* source, const fs::path& target, const char* type, unsigned long flags,
               const char* data) {
        return mounts_.Mount(source, target, type, flags, data);
    }
    TestMounts mounts_;
};

TEST_P(IpodFault, LeavesTheDatabaseAndNoOrphanFile) {
    BindComponentTestLibraries();
    const std::string file = PlayableFile();
    const fs::path ipod = ScratchFolder() / "ipod";
    // Where the iPod's files are looked at afterwards.
    fs::path device = ipod;
    switch (GetParam()) {
        case Fault::TruncatedDatabase:
            ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
            fs::resize_file(ipod / "iPod_Control/iTunes/iTunesDB", 40);
            break;
        case Fault::Full: {
            if (!Mount("tovrela-test", ipod, "tmpfs", 0, "size=256k")) GTEST_SKIP() << "mounting a tmpfs needs root";
            ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
            // Leaves room for the database, not for the video.
            const auto free = fs::space(ipod).available;
            if (free > 48 * 1024) WriteFile(ipod / "filler", std::string(free - 48 * 1024, 'x'));
            break;
        }
        case Fault::DatabaseWriteFails:
            // The new database's temporary name is taken by a folder.
            ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
            ASSERT_EQ(FillTestIpod(ipod, 6), "");
            fs::create_directory(ipod / ("iPod_Control/iTunes/iTunesDB.tovrela-new-" + std::to_string(::getpid())));
            break;
        case Fault::ReadOnly: {
            device = ScratchFolder() / "writable";
            ASSERT_EQ(MakeTestIpod(device, "MA002", false), "");
            if (!Mount(device.c_str(), ipod, nullptr, MS_BIND, nullptr) ||
                !Mount(nullptr, ipod, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr))
                GTEST_SKIP() << "a read-only bind mount needs root";
            break;
        }
        case Fault::Removed:
            ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
            device = ScratchFolder() / "removed";
            break;
        case Fault::UnsupportedModel: {
            // libgpod cannot make its database, so the iPod says it is one.
            const std::string nano = TestIpodModelNumber("Nano with camera");
            ASSERT_FALSE(nano.empty());
            ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
            WriteFile(ipod / "iPod_Control/Device/SysInfo", "ModelNumStr: " + nano + "\n");
            break;
        }
        case Fault::DamagedArtworkDatabase:
            // A first section claiming no length makes libgpod abort.
            ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
            ASSERT_EQ(FillTestIpod(ipod, 12), "");
            Damage(ipod / "iPod_Control/Artwork/ArtworkDB",
                   ReadFile(ipod / "iPod_Control/Artwork/ArtworkDB").find("mhsd") + 8, "\0\0\0\0");
            break;
        case Fault::HalfReadDatabase: {
            // libgpod reads the tracks before a damaged one, warning once.
            ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
            ASSERT_EQ(FillTestIpod(ipod, 12), "");
            const fs::path database = ipod / "iPod_Control/iTunes/iTunesDB";
            const std::string bytes = ReadFile(database);
            Damage(database, bytes.find("mhit", bytes.find("mhit") + 4), "\xff\xff\xff\xff");
            break;
        }
        case Fault::WrongFirewireGuid:
            // Signed with it, the iPod would show itself empty.
            ASSERT_EQ(MakeTestIpod(ipod, "MB029", true), "");
            fs::remove(ipod / "iPod_Control/Device/SysInfoExtended");
            WriteFile(ipod / "iPod_Control/Device/SysInfo", "ModelNumStr: MB029\nFirewireGuid: 0x12\n");
            break;
    }
    const std::map<std::string, std::string> before = LibraryFiles(ipod);
    const std::vector<std::string> filesBefore = FilesOnIpod(ipod);
    TIpodSender sender;
    std::string error;
    bool sent = sender.Open(ipod.string(), error);
    // Pulled out once the iPod's database was read.
    if (GetParam() == Fault::Removed) fs::rename(ipod, device);
    sent = sent && sender.Send(file, file, true, error) == TSendOutcome::OnIpod;
    EXPECT_FALSE(sent);
    EXPECT_NE(error.find(ipod.string()), std::string::npos) << error;
    const char* const kCauses[] = {"cannot be read",
                                   "not enough room",
                                   "Read-only file system",
                                   "left as it was",
                                   "no longer connected",
                                   "cannot receive videos",
                                   "its artwork database is damaged",
                                   "its database could not be read completely; nothing was changed",
                                   "is not 16 hexadecimal digits"};
    EXPECT_NE(error.find(kCauses[static_cast<int>(GetParam())]), std::string::npos) << error;
    EXPECT_TRUE(LibraryFiles(device) == before);
    EXPECT_EQ(FilesOnIpod(device), filesBefore);
    EXPECT_TRUE(fs::exists(file));
    // Listing such an iPod takes nothing down either.
    const CommandResult listed = Cli({"ipods", ipod.string()});
    EXPECT_EQ(listed.status, 0) << listed.err;
}

INSTANTIATE_TEST_SUITE_P(Faults, IpodFault,
                         ::testing::Values(Fault::TruncatedDatabase, Fault::Full, Fault::ReadOnly,
                                           Fault::DatabaseWriteFails, Fault::Removed, Fault::UnsupportedModel,
                                           Fault::DamagedArtworkDatabase, Fault::HalfReadDatabase,
                                           Fault::WrongFirewireGuid),
                         [](const auto& info) { return std::string(kFaultNames[static_cast<int>(info.param)]); });

// A copy of the converted clip under another name, so that each is a video
// of its own.
fs::path ClipNamed(const std::string& name) {
    const fs::path path = ScratchFolder() / (name + ".mp4");
    fs::copy_file(PlayableFile(), path);
    return path;
}

// A write after the run's first keeps no backup; when it fails after libgpod
// rewrote the artwork, the pictures and both databases are put back as the
// first write left them, so the old track database never points into new
// pictures.
TEST(IpodLaterWrite, ThatFailsLeavesTheArtworkAsTheEarlierWriteMadeIt) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    ASSERT_EQ(FillTestIpod(ipod, 6), "");
    TIpodSender sender;
    std::string error;
    ASSERT_TRUE(sender.Open(ipod.string(), error)) << error;
    const std::string first = ClipNamed("First").string();
    ASSERT_EQ(sender.Send(first, first, false, error), TSendOutcome::OnIpod) << error;
    const std::map<std::string, std::string> before = LibraryFiles(ipod);
    const std::vector<std::string> filesBefore = FilesOnIpod(ipod);
    fs::create_directory(ipod / ("iPod_Control/iTunes/iTunesDB.tovrela-new-" + std::to_string(::getpid())));
    sender.SendAgain();
    const std::string second = ClipNamed("Second").string();
    EXPECT_EQ(sender.Send(second, second, false, error), TSendOutcome::NotSent);
    EXPECT_NE(error.find("left as it was"), std::string::npos) << error;
    EXPECT_TRUE(LibraryFiles(ipod) == before);
    EXPECT_EQ(FilesOnIpod(ipod), filesBefore);
    EXPECT_FALSE(fs::exists(ipod / "iPod_Control/iTunes/Tovrela Rollback"));
}

size_t VideoCount(const fs::path& ipod) {
    std::string error;
    size_t videos = 0;
    for (const TTestIpodTrack& track : ReadTestIpodTracks(ipod, error)) videos += track.Kind != "other";
    return videos;
}

class IpodLibraryKept : public ::testing::TestWithParam<IpodKind> {};

// Plays made on the iPod and a playlist made on it are taken into the
// database once; sending again (a file already there is skipped unless
// asked) counts nothing twice and changes no song, playlist or artwork.
TEST_P(IpodLibraryKept, PlaysAreCountedOnceAndAFileAlreadyThereIsSkipped) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, GetParam().model, GetParam().firewireGuid), "");
    ASSERT_EQ(FillTestIpod(ipod, 30), "");
    PlayTestIpod(ipod, 3, 2);
    std::string error;
    const std::string before = MusicLibraryOf(ipod, error);
    ASSERT_NE(before.find("Song 1 rating 20 plays 4"), std::string::npos) << before;
    ASSERT_NE(before.find("playlist OTG"), std::string::npos) << before;
    const std::string clip = ClipNamed("Plays").string();

    const CommandResult first = Cli({"send", ipod.string(), clip});
    ASSERT_EQ(first.status, 0) << first.err;
    const CommandResult again = Cli({"send", ipod.string(), clip});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("already on the iPod"), std::string::npos) << again.out;
    EXPECT_EQ(VideoCount(ipod), 1u);
    const CommandResult forced = Cli({"send", "--again", ipod.string(), clip});
    EXPECT_EQ(forced.status, 0) << forced.err;

    EXPECT_EQ(MusicLibraryOf(ipod, error), before);
    EXPECT_EQ(VideoCount(ipod), 2u);
    EXPECT_FALSE(fs::exists(ipod / "iPod_Control/iTunes/Play Counts"));
    EXPECT_FALSE(fs::exists(ipod / "iPod_Control/iTunes/OTGPlaylistInfo"));
}

// The list names every video with its kind and the free space, as JSON that
// parses; a title two videos have removes nothing and lists both; removing
// by ID and by title takes the tracks, their files and their artwork off in
// one write and leaves the songs, no orphan and nothing for check to find.
TEST_P(IpodLibraryKept, ListsEveryVideoAndRemovesWithoutAnOrphan) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, GetParam().model, GetParam().firewireGuid), "");
    ASSERT_EQ(FillTestIpod(ipod, 6), "");
    std::string error;
    const std::string music = MusicLibraryOf(ipod, error);
    const size_t songFiles = FilesOnIpod(ipod).size();
    const fs::path episode = ScratchFolder() / "Show.S02E05.avi";
    fs::copy_file(ClipPath("video_only.avi"), episode);
    const CommandResult made = Cli({"convert", "--output-folder", ScratchFolder().string(), episode.string()});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string twice = ClipNamed("Twice").string();
    for (const std::string& clip : {twice, twice, (ScratchFolder() / "Show.S02E05.mp4").string()}) {
        const CommandResult sent = Cli({"send", "--again", ipod.string(), clip});
        ASSERT_EQ(sent.status, 0) << sent.err;
    }

    const CommandResult listed = Cli({"ipod", "list", ipod.string(), "--json"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    QJsonParseError parseError;
    const QJsonObject document =
        QJsonDocument::fromJson(QByteArray::fromStdString(listed.out), &parseError).object();
    ASSERT_EQ(parseError.error, QJsonParseError::NoError) << listed.out;
    // The test iPod shares its disk with other writers.
    EXPECT_NEAR(document["free"].toDouble(), static_cast<double>(fs::space(ipod).available), 256e6);
    EXPECT_GT(document["capacity"].toDouble(), document["free"].toDouble());
    const QJsonArray videos = document["videos"].toArray();
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    std::vector<std::string> fromList, fromDatabase;
    for (const QJsonValue& video : videos) {
        const QJsonObject v = video.toObject();
        EXPECT_TRUE(v["ours"].toBool());
        fromList.push_back(v["title"].toString().toStdString() + "|" + v["kind"].toString().toStdString() + "|" +
                           v["show"].toString().toStdString() + "|" + std::to_string(v["season"].toInt()) + "|" +
                           std::to_string(v["episode"].toInt()) + "|" +
                           std::to_string(static_cast<uint64_t>(v["size"].toDouble())));
    }
    for (const TTestIpodTrack& track : tracks)
        if (track.Kind != "other")
            fromDatabase.push_back(track.Title + "|" + track.Kind + "|" + track.Show + "|" +
                                   std::to_string(track.Season) + "|" + std::to_string(track.Episode) + "|" +
                                   std::to_string(track.Size));
    EXPECT_EQ(fromList, fromDatabase);
    ASSERT_EQ(videos.size(), 3);
    const CommandResult plain = Cli({"ipod", "list", ipod.string()});
    EXPECT_NE(plain.out.find("S02E05"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("3 videos; capacity"), std::string::npos) << plain.out;

    const std::string sameTitle = videos[0].toObject()["title"].toString().toStdString();
    const CommandResult ambiguous = Cli({"ipod", "remove", ipod.string(), sameTitle});
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_NE(ambiguous.err.find("2 videos have this title"), std::string::npos) << ambiguous.err;
    EXPECT_NE(ambiguous.err.find(videos[0].toObject()["id"].toString().toStdString()), std::string::npos);
    EXPECT_NE(ambiguous.err.find(videos[1].toObject()["id"].toString().toStdString()), std::string::npos);
    EXPECT_EQ(VideoCount(ipod), 3u);

    const std::string byId = videos[0].toObject()["id"].toString().toStdString();
    const std::string byTitle = videos[2].toObject()["title"].toString().toStdString();
    const CommandResult removed = Cli({"ipod", "remove", ipod.string(), byId, byTitle});
    ASSERT_EQ(removed.status, 0) << removed.err;
    const std::vector<TTestIpodTrack> left = ReadTestIpodTracks(ipod, error);
    std::vector<std::string> leftVideos;
    for (const TTestIpodTrack& track : left)
        if (track.Kind != "other") leftVideos.push_back(track.Title);
    EXPECT_EQ(leftVideos, std::vector<std::string>{sameTitle});
    EXPECT_EQ(FilesOnIpod(ipod).size(), songFiles + 1);
    EXPECT_EQ(MusicLibraryOf(ipod, error), music);
    const CommandResult checked = Cli({"ipod", "check", ipod.string()});
    EXPECT_EQ(checked.status, 0) << checked.out;
}

INSTANTIATE_TEST_SUITE_P(Kinds, IpodLibraryKept,
                         ::testing::Values(IpodKind{"MA002", false, true}, IpodKind{"MB029", true, true}),
                         [](const auto& info) { return std::string(info.param.model); });

// Two runs sending at once take turns on the iPod's lock: both sides'
// videos are listed and every copied file is.
TEST(IpodWriters, TwoSendsAtOnceKeepBothSidesVideos) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    ASSERT_EQ(FillTestIpod(ipod, 20), "");
    std::string error;
    const std::string music = MusicLibraryOf(ipod, error);
    std::vector<StartedCommand> sends;
    for (const char* side : {"A", "B"}) {
        sends.emplace_back(std::vector<std::string>{TOVRELA_CLI, "send", "--again", ipod.string(),
                                                    ClipNamed(side + std::string("1")).string(),
                                                    ClipNamed(side + std::string("2")).string(),
                                                    ClipNamed(side + std::string("3")).string()});
    }
    for (StartedCommand& send : sends) EXPECT_EQ(send.Wait(), 0) << send.Err();
    EXPECT_EQ(VideoCount(ipod), 6u);
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    EXPECT_EQ(FilesOnIpod(ipod).size(), tracks.size());
    EXPECT_EQ(MusicLibraryOf(ipod, error), music);
}

struct ResumeCase {
    const char* name;
    TMediaKind kind;
    int64_t lengthMs;
    bool remembers;
};
void PrintTo(const ResumeCase& c, std::ostream* stream) { *stream << c.name; }

class IpodResume : public ::testing::TestWithParam<ResumeCase> {};

// Films and episodes over ten minutes resume where they were stopped; short
// ones and music videos start again.
TEST_P(IpodResume, LongFilmsAndEpisodesRememberTheirPosition) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MB029", true), "");
    std::string error;
    TIpodVideo video;
    ASSERT_TRUE(ReadIpodVideo(PlayableFile(), video, error)) << error;
    video.Tags.Kind = GetParam().kind;
    video.DurationMs = GetParam().lengthMs;
    {
        TIpodLibrary library;
        ASSERT_TRUE(library.Open(ipod.string(), {}, error)) << error;
        ASSERT_EQ(library.Add(video, false, error), TIpodLibrary::TAdded::Added) << error;
        ASSERT_TRUE(library.Commit(false, error)) << error;
    }
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(tracks.size(), 1u) << error;
    EXPECT_EQ(tracks[0].RemembersPosition, GetParam().remembers);
}

INSTANTIATE_TEST_SUITE_P(Lengths, IpodResume,
                         ::testing::Values(ResumeCase{"LongFilm", TMediaKind::Movie, 11 * 60000, true},
                                           ResumeCase{"LongEpisode", TMediaKind::TvShow, 11 * 60000, true},
                                           ResumeCase{"ShortFilm", TMediaKind::Movie, 9 * 60000, false},
                                           ResumeCase{"LongMusicVideo", TMediaKind::MusicVideo, 11 * 60000, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A file of 4 GiB or more fits neither the iPod's file system nor the size
// its database keeps: it is refused before anything is copied.
TEST(IpodLargeFile, AFileOfFourGibibytesIsRefusedBeforeCopying) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    std::string error;
    TIpodVideo video;
    ASSERT_TRUE(ReadIpodVideo(PlayableFile(), video, error)) << error;
    video.Path = (ScratchFolder() / "large.mp4").string();
    fs::copy_file(PlayableFile(), video.Path);
    fs::resize_file(video.Path, uintmax_t{1} << 32);  // sparse: takes no room
    TIpodLibrary library;
    ASSERT_TRUE(library.Open(ipod.string(), {}, error)) << error;
    EXPECT_EQ(library.Add(video, true, error), TIpodLibrary::TAdded::Failed);
    EXPECT_NE(error.find("larger than the iPod can hold in one file"), std::string::npos) << error;
    EXPECT_TRUE(FilesOnIpod(ipod).empty());
}

// Pulled out after a file was copied: the write fails without taking the
// program down, says which copied file it could not take off again, and the
// library on the iPod is as it was.
TEST(IpodRemoval, PulledOutAfterACopyIsReported) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    const fs::path pulled = ScratchFolder() / "pulled";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    ASSERT_EQ(FillTestIpod(ipod, 6), "");
    std::string error;
    const std::string music = MusicLibraryOf(ipod, error);
    const size_t songFiles = FilesOnIpod(ipod).size();
    TIpodVideo video;
    ASSERT_TRUE(ReadIpodVideo(PlayableFile(), video, error)) << error;
    {
        TIpodLibrary library;
        ASSERT_TRUE(library.Open(ipod.string(), {}, error)) << error;
        ASSERT_EQ(library.Add(video, false, error), TIpodLibrary::TAdded::Added) << error;
        fs::rename(ipod, pulled);
        EXPECT_FALSE(library.Commit(true, error));
    }
    EXPECT_NE(error.find("no longer connected"), std::string::npos) << error;
    EXPECT_NE(error.find("could not be taken off again: " + ipod.string() + "/iPod_Control/Music/"),
              std::string::npos)
        << error;
    EXPECT_EQ(MusicLibraryOf(pulled, error), music);
    EXPECT_EQ(VideoCount(pulled), 0u);
    EXPECT_EQ(FilesOnIpod(pulled).size(), songFiles + 1);

    // "ipod check" finds the copy; "--repair" lists it again, being a video
    // this program made, and removes a file that is not.
    WriteFile(pulled / "iPod_Control/Music/F01/LEFT.mp3", "not ours");
    const CommandResult checked = Cli({"ipod", "check", pulled.string()});
    EXPECT_EQ(checked.status, 1);
    EXPECT_NE(checked.out.find("LEFT.mp3 (0.0 MB): in no track"), std::string::npos) << checked.out;
    const CommandResult repaired = Cli({"ipod", "check", pulled.string(), "--repair"});
    EXPECT_EQ(repaired.status, 0) << repaired.out << repaired.err;
    EXPECT_NE(repaired.out.find("listed again"), std::string::npos) << repaired.out;
    EXPECT_NE(repaired.out.find("LEFT.mp3 (0.0 MB): in no track: removed"), std::string::npos) << repaired.out;
    EXPECT_EQ(VideoCount(pulled), 1u);
    EXPECT_EQ(FilesOnIpod(pulled).size(), songFiles + 1);
    EXPECT_EQ(MusicLibraryOf(pulled, error), music);
}

// Each run keeps a backup of the library it found; the three newest stay,
// and restoring the newest brings back the library before the last run.
TEST(IpodBackup, TheThreeNewestAreKeptAndTheNewestRestores) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    ASSERT_EQ(FillTestIpod(ipod, 9), "");
    std::string error;
    const std::string music = MusicLibraryOf(ipod, error);
    const std::string clip = ClipNamed("Backed up").string();
    for (int run = 0; run < 4; ++run) {
        const CommandResult sent = Cli({"send", "--again", ipod.string(), clip});
        ASSERT_EQ(sent.status, 0) << sent.err;
    }
    const CommandResult listed = Cli({"ipod", "restore", ipod.string(), "--list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 3) << listed.out;
    const CommandResult restored = Cli({"ipod", "restore", ipod.string()});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(VideoCount(ipod), 3u);
    EXPECT_EQ(MusicLibraryOf(ipod, error), music);
    const CommandResult checked = Cli({"ipod", "check", ipod.string()});
    EXPECT_EQ(checked.status, 1);
    EXPECT_NE(checked.out.find("in no track"), std::string::npos) << checked.out;
}

// A converted file goes on with the poster its conversion took from its own
// pictures, not a second look at the file.
TEST(IpodArtwork, AConvertedFileGoesOnWithThePosterItsConversionTook) {
    BindComponentTestLibraries();
    std::string error;
    TMediaFacts facts;
    ASSERT_TRUE(ReadMediaFacts(PlayableFile(), facts, error)) << error;
    ASSERT_FALSE(facts.CoverJpeg.empty());
    TIpodVideo video;
    ASSERT_TRUE(ReadIpodVideo(PlayableFile(), video, error)) << error;
    EXPECT_EQ(video.PosterJpeg, facts.CoverJpeg);
}

// Picture files whose artwork database is damaged cannot be read, and libgpod
// would write the artwork afresh from nothing: the video goes on without a
// poster, saying why, and every picture file stays as it was.
TEST(IpodArtwork, UnreadableArtworkStaysAndTheVideoGoesOnWithoutAPoster) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MB029", true), "");
    ASSERT_EQ(FillTestIpod(ipod, 12), "");
    WriteFile(ipod / "iPod_Control/Artwork/ArtworkDB", "not an artwork database");
    const std::map<std::string, std::string> before = LibraryFiles(ipod);
    const std::string clip = ClipNamed("No poster").string();

    const CommandResult sent = Cli({"send", ipod.string(), clip});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_NE(sent.err.find("sent without a poster: the artwork on it cannot be read"), std::string::npos)
        << sent.err;
    EXPECT_EQ(VideoCount(ipod), 1u);
    std::map<std::string, std::string> after = LibraryFiles(ipod);
    EXPECT_NE(after["iTunesDB"], before.at("iTunesDB"));
    // Signed as the iPod's own.
    EXPECT_NE(after["iTunesDB"].substr(0x58, 20), std::string(20, '\0'));
    after.erase("iTunesDB");
    std::map<std::string, std::string> pictures = before;
    pictures.erase("iTunesDB");
    EXPECT_TRUE(after == pictures);
}

// A writer that finds the iPod's lock taken says so once and waits; one
// that waits longer than it may gives up, having changed nothing.
TEST(IpodWriters, ALockHeldTooLongIsGivenUpSayingSo) {
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    std::string error;
    TIpodLock holder;
    ASSERT_TRUE(holder.Take(ipod.string(), {}, std::chrono::milliseconds(0), error)) << error;
    int told = 0;
    TIpodLock second;
    EXPECT_FALSE(second.Take(ipod.string(), [&] { ++told; }, std::chrono::milliseconds(300), error));
    EXPECT_EQ(told, 1);
    EXPECT_EQ(error, "another program kept writing to it; nothing was changed");
    // A window closed while it waits stops waiting at once, long patience or not.
    TIpodLock third;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(third.Take(ipod.string(), {}, std::chrono::minutes(10), error, [] { return true; }));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::minutes(1));
    EXPECT_EQ(error, "the wait for another program writing to it was given up; nothing was changed");
}

struct SyncPlanCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> files;  // path in the folder, test clip ("" for text)
    bool smallIpod;  // on a file system with room for little more than its database
    int status;
    std::vector<const char*> said;  // in this order
    std::vector<const char*> options = {};
    const char* room = "size=256k";  // of the small iPod's file system
};
void PrintTo(const SyncPlanCase& plan, std::ostream* stream) { *stream << plan.name; }

class IpodSyncPlan : public ::testing::TestWithParam<SyncPlanCase> {
protected:
    TestMounts mounts_;
};

// The dry run decides for every file in the folders, subfolders first, says
// the sizes and whether they fit, and writes nothing on the iPod.
TEST_P(IpodSyncPlan, SaysEachDecisionAndWritesNothing) {
    const SyncPlanCase& plan = GetParam();
    const fs::path ipod = ScratchFolder() / "ipod";
    if (plan.smallIpod && !mounts_.Mount("tovrela-test", ipod, "tmpfs", 0, plan.room))
        GTEST_SKIP() << "mounting a tmpfs needs root";
    ASSERT_EQ(MakeTestIpod(ipod, "MB029", true), "");
    const fs::path folder = ScratchFolder() / "Videos";
    for (const auto& [name, clip] : plan.files) {
        fs::create_directories((folder / name).parent_path());
        if (*clip)
            fs::copy_file(ClipPath(clip), folder / name);
        else
            WriteFile(folder / name, "not a video");
    }
    const auto before = LibraryFiles(ipod);

    std::vector<std::string> words = {"sync", "--dry-run", folder.string(), "--to", ipod.string()};
    words.insert(words.end(), plan.options.begin(), plan.options.end());
    const CommandResult run = Cli(words);
    EXPECT_EQ(run.status, plan.status) << run.out << run.err;
    size_t at = 0;
    for (const char* text : plan.said) {
        at = run.out.find(text, at);
        ASSERT_NE(at, std::string::npos) << text << " in\n" << run.out;
    }
    EXPECT_EQ(LibraryFiles(ipod), before);
    EXPECT_TRUE(FilesOnIpod(ipod).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, IpodSyncPlan,
    ::testing::Values(
        SyncPlanCase{"ConvertsVideosSubfoldersFirst",
                     {{"film.mov", "mov_mpeg4_aac.mov"}, {"Show/Season 01/01 - Pilot.avi", "video_only.avi"}},
                     false, 0,
                     {"convert  01 - Pilot.avi  about ", "convert  film.mov  about ", "2 to convert, 0 that cannot",
                      "It would take less than a minute.", "would be left free"}},
        SyncPlanCase{"RefusesWhatIsNoVideo",
                     {{"notes.txt", ""}, {"song.mp3", "audio_only.mp3"}, {"clip.avi", "video_only.avi"}},
                     false, 1,
                     {"convert  clip.avi", "cannot   notes.txt: it cannot be read as a video",
                      "cannot   song.mp3: it has no picture", "1 to convert, 2 that cannot"}},
        SyncPlanCase{"RefusesAPlanThatDoesNotFit",
                     {{"film.mov", "mov_mpeg4_aac.mov"}, {"clip.avi", "video_only.avi"}},
                     true, 1,
                     {"2 to convert", "The plan does not fit: it needs ", "more than the iPod has free"}},
        // Room for the files at a middle profile, not at the highest.
        SyncPlanCase{"FitTakesTheHighestProfileThatFits",
                     {{"film.mov", "mov_mpeg4_aac.mov"}, {"clip.avi", "video_only.avi"}},
                     true, 0,
                     {"Profile ", " is the highest at which the plan fits", "2 to convert", "would be left free"},
                     {"--fit"}, "size=1450k"}));

// Folders kept on an iPod: the first sync puts a TV tree on with its show,
// season and episode, and a podcast with its flags, unplayed, beside another
// program's songs; a second writes
// nothing; a changed file replaces its track; with --delete a file that is
// gone takes its track along, and nothing else goes.
TEST_P(IpodSend, FoldersAreKeptOnTheIpodWithoutWritingTwice) {
    BindComponentTestLibraries();
    const IpodKind& kind = GetParam();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, kind.model, kind.firewireGuid), "");
    ASSERT_EQ(FillTestIpod(ipod, 3), "");
    const fs::path folder = ScratchFolder() / "Videos";
    const fs::path episode = folder / "A Show/Season 02/05 - Folders.avi";
    // A name with what the record escapes.
    const fs::path film = folder / "film 100%25\tcut.avi";
    const fs::path podcast = folder / "Podcasts/Tech Talk/Talk 12.avi";
    fs::create_directories(episode.parent_path());
    fs::create_directories(podcast.parent_path());
    fs::copy_file(ClipPath("video_only.avi"), episode);
    fs::copy_file(ClipPath("video_only.avi"), podcast);
    fs::copy_file(ClipPath("video_only.avi"), film);
    const auto sync = [&](std::vector<std::string> more = {}) {
        std::vector<std::string> words = {"sync", folder.string(), "--to", ipod.string(), "--profile", "0"};
        words.insert(words.end(), more.begin(), more.end());
        return Cli(words);
    };
    const auto tracks = [&] {
        std::string error;
        std::vector<TTestIpodTrack> read = ReadTestIpodTracks(ipod, error);
        EXPECT_EQ(error, "");
        std::erase_if(read, [](const TTestIpodTrack& track) { return track.Kind == "other"; });
        return read;
    };

    CommandResult run = sync();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("3 added, 0 copied as they were, 0 skipped"), std::string::npos) << run.out;
    std::vector<TTestIpodTrack> first = tracks();
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].Kind + " " + first[0].Show + " " + first[0].EpisodeId, "TV show A Show S02E05");
    EXPECT_EQ(first[1].Kind + " " + first[1].Album + " " + first[1].Title, "video podcast Tech Talk Talk 12");
    EXPECT_TRUE(first[1].InPodcasts);
    EXPECT_FALSE(first[0].InPodcasts);
    EXPECT_TRUE(first[2].Unplayed);

    std::string error;
    const std::string songs = MusicLibraryOf(ipod, error);
    const auto library = LibraryFiles(ipod);
    const auto files = FilesOnIpod(ipod);
    run = sync({"--delete"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("3 to skip, 0 to copy, 0 to convert"), std::string::npos) << run.out;
    EXPECT_EQ(LibraryFiles(ipod), library);
    EXPECT_EQ(FilesOnIpod(ipod), files);

    fs::copy_file(ClipPath("mov_mpeg4_aac.mov"), film, fs::copy_options::overwrite_existing);
    run = sync();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("replacing the earlier version"), std::string::npos) << run.out;
    const std::vector<TTestIpodTrack> replaced = tracks();
    ASSERT_EQ(replaced.size(), 3u);
    EXPECT_EQ(replaced[2].Title, "Tovrela test clip");  // the new file's own title
    EXPECT_EQ(FilesOnIpod(ipod).size(), files.size());

    fs::remove(film);
    run = sync({"--delete"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("delete   \"Tovrela test clip\""), std::string::npos) << run.out;
    const std::vector<TTestIpodTrack> left = tracks();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].Title, "Folders");
    EXPECT_EQ(MusicLibraryOf(ipod, error), songs);
    EXPECT_EQ(FilesOnIpod(ipod).size(), files.size() - 1);
}

// The H.264 packets of a file, as stored.
std::vector<std::string> VideoPackets(const std::string& path) {
    AVFormatContext* opened = nullptr;
    std::vector<std::string> packets;
    // Every stored packet, also those an edit list leaves out of the picture.
    AVDictionary* options = nullptr;
    ff::av_dict_set(&options, "ignore_editlist", "1", 0);
    const int result = ff::avformat_open_input(&opened, path.c_str(), nullptr, &options);
    ff::av_dict_free(&options);
    if (result < 0) return packets;
    const TInputContextPtr in(opened);
    const TPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(in.get(), packet.get()) >= 0) {
        // The poster is a picture stream too, but no H.264.
        if (in->streams[packet->stream_index]->codecpar->codec_id == AV_CODEC_ID_H264)
            packets.emplace_back(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
        ff::av_packet_unref(packet.get());
    }
    return packets;
}

class IpodPassThrough : public ::testing::TestWithParam<const char*> {};

// The subtitle streams of a file: codec and language.
std::vector<std::pair<std::string, std::string>> SubtitleStreams(const std::string& path) {
    AVFormatContext* opened = nullptr;
    std::vector<std::pair<std::string, std::string>> streams;
    if (ff::avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) return streams;
    const TInputContextPtr in(opened);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* stream = in->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
        const AVDictionaryEntry* language = ff::av_dict_get(stream->metadata, "language", nullptr, 0);
        streams.emplace_back(ff::avcodec_get_name(stream->codecpar->codec_id), language ? language->value : "");
    }
    return streams;
}

// H.264 that plays on a classic goes on unchanged, from MP4 or Matroska,
// with the chapters its file has and its text subtitles, as the iPod's
// text track.
TEST_P(IpodPassThrough, VideoPacketsGoOnUnchanged) {
    BindComponentTestLibraries();
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MB029", true), "");
    const fs::path film = ScratchFolder() / "film.mkv";
    WriteSourceFilm({.width = 320, .height = 240, .sound = {FilmSound{}},
                     .chapters = {{0, 500000, "Opening"}, {500000, 1000000, "Close"}},
                     .subtitles = {{.language = "fre", .cues = {{100000, 800000, "Bonjour"}}}}},
                    film.string());
    const fs::path made = ScratchFolder() / "made";
    const CommandResult convert = Cli({"convert", "--device", "ipod-h264", "--subtitles", "fre", "--output-folder",
                                       made.string(), film.string()});
    ASSERT_EQ(convert.status, 0) << convert.err;
    const fs::path folder = ScratchFolder() / "Videos";
    fs::create_directories(folder);
    const fs::path source = folder / (std::string("playable.") + GetParam());
    // Matroska takes the text as SubRip.
    if (source.extension() == ".mp4") {
        fs::copy_file(made / "film.m4v", source);
    } else {
        const CommandResult remux = Cli({"transcode", "-i", (made / "film.m4v").string(), "-x", "vcodec=copy", "-x",
                                         "acodec=copy", "-x", "sstream=2", "-x", "scodec=subrip", source.string()});
        ASSERT_EQ(remux.status, 0) << remux.err;
    }
    TMediaFacts facts;
    std::string error;
    ASSERT_TRUE(ReadMediaFacts(source.string(), facts, error)) << error;
    ASSERT_EQ(SubtitleStreams(source.string()).size(), 1u);
    if (source.extension() == ".mp4") {
        ASSERT_EQ(facts.Chapters.size(), 2u);
    }

    const CommandResult run = Cli({"sync", folder.string(), "--to", ipod.string()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("copy     playable."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 copied as they were"), std::string::npos) << run.out;
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(tracks.size(), 1u) << error;
    EXPECT_EQ(fs::path(tracks[0].File).extension(), ".m4v");
    EXPECT_EQ(tracks[0].Chapters.size(), facts.Chapters.size());
    const std::vector<std::string> packets = VideoPackets(source.string());
    ASSERT_FALSE(packets.empty());
    const std::vector<std::string> copied = VideoPackets(tracks[0].File);
    ASSERT_EQ(copied.size(), packets.size());
    for (size_t i = 0; i < packets.size(); ++i) EXPECT_TRUE(copied[i] == packets[i]) << "packet " << i;
    EXPECT_EQ(SubtitleStreams(tracks[0].File),
              (std::vector<std::pair<std::string, std::string>>{{"mov_text", "fre"}}));
}

INSTANTIATE_TEST_SUITE_P(Containers, IpodPassThrough, ::testing::Values("mp4", "mkv"));

// A sync whose plan does not fit says by how much and writes nothing.
TEST(IpodFolderSync, APlanThatDoesNotFitWritesNothing) {
    TestMounts mounts;
    const fs::path ipod = ScratchFolder() / "ipod";
    if (!mounts.Mount("tovrela-test", ipod, "tmpfs", 0, "size=256k")) GTEST_SKIP() << "mounting a tmpfs needs root";
    ASSERT_EQ(MakeTestIpod(ipod, "MB029", true), "");
    const fs::path folder = ScratchFolder() / "Videos";
    fs::create_directories(folder);
    fs::copy_file(ClipPath("mov_mpeg4_aac.mov"), folder / "film.mov");
    const auto before = LibraryFiles(ipod);

    const CommandResult run = Cli({"sync", folder.string(), "--to", ipod.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("more than the iPod has free; use --fit or a lower profile"), std::string::npos) << run.out;
    EXPECT_EQ(LibraryFiles(ipod), before);
    EXPECT_TRUE(FilesOnIpod(ipod).empty());
    EXPECT_FALSE(fs::exists(ipod / "iPod_Control/Tovrela"));
}

// A file put on by send, or made by a conversion that puts it on, is noted
// with its source, so that a sync of the source's folder finds it there and
// puts nothing on twice.
class IpodPutOnBefore : public ::testing::TestWithParam<const char*> {};

TEST_P(IpodPutOnBefore, ASyncOfItsFolderFindsItThere) {
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    const fs::path folder = ScratchFolder() / "Videos";
    fs::create_directories(folder);
    CommandResult run;
    if (std::string(GetParam()) == "send") {
        fs::copy_file(PlayableFile(), folder / "film.mp4");
        run = Cli({"send", ipod.string(), (folder / "film.mp4").string()});
    } else {
        fs::copy_file(ClipPath("video_only.avi"), folder / "film.avi");
        run = Cli({"convert", "--to-ipod", ipod.string(), "--no-keep", "--output-folder",
                   (ScratchFolder() / "made").string(), (folder / "film.avi").string()});
    }
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const auto library = LibraryFiles(ipod);
    const auto files = FilesOnIpod(ipod);
    ASSERT_EQ(files.size(), 1u);

    run = Cli({"sync", folder.string(), "--to", ipod.string()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("1 to skip, 0 to copy, 0 to convert"), std::string::npos) << run.out;
    EXPECT_TRUE(LibraryFiles(ipod) == library);
    EXPECT_EQ(FilesOnIpod(ipod), files);
}

INSTANTIATE_TEST_SUITE_P(Ways, IpodPutOnBefore, ::testing::Values("send", "convert"));

// A record of synced files that cannot be read keeps no video off the iPod:
// send puts it on, says the record could not be read, and leaves the record
// as it found it.
TEST(IpodPutOnBefore, ADamagedRecordIsSaidAndLeftWhileTheVideoGoesOn) {
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MA002", false), "");
    const fs::path record = ipod / "iPod_Control" / "Tovrela" / "sync-record";
    fs::create_directories(record.parent_path());
    WriteFile(record, "not a record\n");
    const fs::path film = ScratchFolder() / "film.mp4";
    fs::copy_file(PlayableFile(), film);
    const CommandResult run = Cli({"send", ipod.string(), film.string()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find("record of synced files could not be read"), std::string::npos)
        << run.out << run.err;
    EXPECT_EQ(FilesOnIpod(ipod).size(), 1u);
    EXPECT_EQ(ReadFile(record), "not a record\n");
}

// On an iPod without room for a changed file beside its earlier version,
// the plan counts the room the earlier one frees, and the sync takes the
// old track and its file off before the new one goes on, leaving one of
// each.
TEST(IpodFolderSync, AChangedFileReplacesItsTrackOnANearlyFullIpod) {
    BindComponentTestLibraries();
    TestMounts mounts;
    const fs::path ipod = ScratchFolder() / "ipod";
    if (!mounts.Mount("tovrela-test", ipod, "tmpfs", 0, "size=64m")) GTEST_SKIP() << "mounting a tmpfs needs root";
    ASSERT_EQ(MakeTestIpod(ipod, "MB029", true), "");
    const fs::path folder = ScratchFolder() / "Videos";
    fs::create_directories(folder);
    // Grain keeps the encoder at the profile's rate: the file outweighs the
    // backup the sync takes.
    const fs::path film = folder / "film.avi";
    WriteTestClip(IpodSizedClip("film.avi", 8000000, 48), film.string());
    const auto sync = [&] { return Cli({"sync", folder.string(), "--to", ipod.string(), "--profile", "7"}); };
    CommandResult run = sync();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    std::string error;
    std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(tracks.size(), 1u) << error;
    const uint64_t size = tracks[0].Size;

    fs::last_write_time(film, fs::last_write_time(film) + std::chrono::hours(1));
    // Room for the backup the sync takes before its first write, and for
    // part of the new file beside the old one.
    const uint64_t backup = NewBackupBytes(ipod.string());
    ASSERT_GT(size, backup) << "the file is too small to tell the room it frees";
    const uint64_t keep = IpodDatabaseRoom(ipod.string()) + backup + (size - backup) / 2;
    WriteFile(ipod / "ballast", std::string(fs::space(ipod).available - keep, 'x'));

    run = sync();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("replacing the earlier version"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 added"), std::string::npos) << run.out;
    tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(tracks.size(), 1u) << error;
    EXPECT_EQ(FilesOnIpod(ipod), std::vector<std::string>{tracks[0].File});
}

// Stops the sync once the file it names is being converted.
class StoppingView : public TSyncView {
public:
    explicit StoppingView(size_t stopAtFile) : stopAtFile_(stopAtFile) {}
    void ShowProgress(const TSyncProgress& progress) override {
        if (progress.FileNumber == stopAtFile_ && sync) sync->Stop();
    }
    void ShowNotice(const std::string&) override {}
    void ItemEnded(const TSyncOutcome& outcome) override { results.push_back(outcome.Result); }
    void SyncEnded() override {}
    TFolderSync* sync = nullptr;
    std::vector<TSyncResult> results;

private:
    size_t stopAtFile_;
};

// A sync stopped while a file converts keeps the file that went on before,
// listed in the database and the record; the file being converted and the
// one after it do not go on, and nothing is left on the iPod or in the
// folder where files are converted.
TEST(IpodFolderSync, StoppedWhileAFileConvertsKeepsWhatWentOnAndLeavesNoPart) {
    BindComponentTestLibraries();
    const fs::path cache = ScratchFolder() / "cache";
    ASSERT_EQ(::setenv("XDG_CACHE_HOME", cache.c_str(), 1), 0);
    const fs::path ipod = ScratchFolder() / "ipod";
    ASSERT_EQ(MakeTestIpod(ipod, "MB029", true), "");
    const fs::path folder = ScratchFolder() / "Videos";
    fs::create_directories(folder);
    fs::copy_file(ClipPath("video_only.avi"), folder / "1 first.avi");
    // Long enough to be stopped halfway on any machine.
    WriteTestClip(IpodSizedClip("2 long.avi", 12000000, 48), (folder / "2 long.avi").string());
    fs::copy_file(ClipPath("video_only.avi"), folder / "3 last.avi");

    TSyncRequest request;
    request.Folders = {folder.string()};
    request.Mount = ipod.string();
    TFolderSyncPlan plan;
    std::string error;
    ASSERT_EQ(PlanFolderSync(request, plan, error), TSyncPlanStatus::Planned) << error;
    TEventLoop loop;
    TVexmoConverter component;
    component.SetDelayedCallHost(&loop);
    // The first report comes early in the file, however fast the machine.
    component.SetProgressInterval(100);
    StoppingView view(2);
    {
        TFolderSync sync(component, view, [&loop](std::function<void()> work) { loop.Post(std::move(work)); });
        view.sync = &sync;
        sync.Start(plan);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (sync.Running() && std::chrono::steady_clock::now() < deadline)
            loop.RunOnce(std::chrono::milliseconds(50));
        ASSERT_FALSE(sync.Running());
    }
    ::unsetenv("XDG_CACHE_HOME");

    EXPECT_EQ(view.results, (std::vector<TSyncResult>{TSyncResult::Added, TSyncResult::Stopped, TSyncResult::Stopped}));
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(tracks.size(), 1u) << error;
    EXPECT_EQ(FilesOnIpod(ipod), std::vector<std::string>{tracks[0].File});
    TIpodLibrary library;
    ASSERT_TRUE(library.Open(ipod.string(), {}, error)) << error;
    TSyncRecord record;
    ASSERT_TRUE(record.Read(ipod.string(), {library.Videos().at(0).Id}, error)) << error;
    ASSERT_EQ(record.Entries().size(), 1u);
    EXPECT_EQ(fs::path(record.Entries()[0].Source.Path).filename(), "1 first.avi");
    EXPECT_TRUE(fs::is_empty(cache / "tovrela"));
}

}  // namespace

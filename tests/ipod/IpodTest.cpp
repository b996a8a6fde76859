// Sending videos to iPods made in temporary folders with libgpod itself, and
// reading their databases back the way the iPod would.

#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "CommandRun.h"
#include "ComponentTestSupport.h"
#include "IpodSender.h"
#include "IpodTestSupport.h"
#include "MediaFacts.h"

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

    const CommandResult listed = Cli({"ipods", ipod.string()});
    EXPECT_NE(listed.out.find("\"Test iPod\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("can receive videos"), std::string::npos) << listed.out;

    std::vector<std::string> words = {"convert", "--to-ipod", ipod.string(), "--output-folder", out.string()};
    if (!kind.keep) words.push_back("--no-keep");
    words.insert(words.end(), {show.string(), ClipPath("avi_mpeg4_mp3.avi"), ClipPath("mpeg_ps_mpeg2_mp2.mpg"),
                               ClipPath("wmv_wmv2_wmav2.wmv"), ClipPath("mov_mpeg4_aac.mov")});
    const CommandResult run = Cli(words);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("Completed, on iPod"), std::string::npos) << run.out;
    EXPECT_EQ(fs::exists(out / "Some.Show.S01E02.m4v"), kind.keep);
    EXPECT_TRUE(fs::exists(ipod / "iPod_Control/iTunes/iTunesDB.tovrela-backup"));

    std::string error;
    const std::vector<TTestIpodTrack> tracks = ReadTestIpodTracks(ipod, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(tracks.size(), 5u);
    std::multimap<std::string, TTestIpodTrack> byTitle;
    for (const TTestIpodTrack& track : tracks) {
        byTitle.emplace(track.Title, track);
        EXPECT_TRUE(track.HasArtwork) << track.Title;
        EXPECT_GT(track.LengthMs, 1500) << track.Title;
        ASSERT_FALSE(track.File.empty()) << track.Title;
        EXPECT_EQ(fs::file_size(track.File), track.Size) << track.Title;
    }
    ASSERT_EQ(byTitle.count("Some Show S01E02"), 1u);
    const TTestIpodTrack& episode = byTitle.find("Some Show S01E02")->second;
    EXPECT_EQ(episode.Kind, "TV show");
    EXPECT_EQ(episode.Show, "Some Show");
    EXPECT_EQ(episode.Season, 1u);
    EXPECT_EQ(episode.Episode, 2u);
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

// Each fault leaves the database as it was and no file in the music folders.
enum class Fault { TruncatedDatabase, Full, ReadOnly, DatabaseWriteFails, Removed, UnsupportedModel };
constexpr const char* kFaultNames[] = {"TruncatedDatabase", "Full",    "ReadOnly",
                                       "DatabaseWriteFails", "Removed", "UnsupportedModel"};
void PrintTo(Fault fault, std::ostream* stream) { *stream << kFaultNames[static_cast<int>(fault)]; }

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
            fs::create_directory(ipod / "iPod_Control/iTunes/iTunesDB.tovrela-new");
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
    }
    const std::string before = ReadFile(ipod / "iPod_Control/iTunes/iTunesDB");
    TIpodSender sender;
    std::string error;
    bool sent = sender.Open(ipod.string(), error);
    // Pulled out once the iPod's database was read.
    if (GetParam() == Fault::Removed) fs::rename(ipod, device);
    sent = sent && sender.Send(file, error);
    sent = sent && sender.Finish(error);
    EXPECT_FALSE(sent);
    EXPECT_NE(error.find(ipod.string()), std::string::npos) << error;
    const char* const kCauses[] = {"cannot be read",   "not enough room",           "Read-only file system",
                                   "left as it was",   "no longer connected",       "cannot receive videos"};
    EXPECT_NE(error.find(kCauses[static_cast<int>(GetParam())]), std::string::npos) << error;
    EXPECT_TRUE(ReadFile(device / "iPod_Control/iTunes/iTunesDB") == before);
    EXPECT_TRUE(FilesOnIpod(device).empty());
    EXPECT_TRUE(fs::exists(file));
}

INSTANTIATE_TEST_SUITE_P(Faults, IpodFault,
                         ::testing::Values(Fault::TruncatedDatabase, Fault::Full, Fault::ReadOnly,
                                           Fault::DatabaseWriteFails, Fault::Removed, Fault::UnsupportedModel),
                         [](const auto& info) { return std::string(kFaultNames[static_cast<int>(info.param)]); });

}  // namespace

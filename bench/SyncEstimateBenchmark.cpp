// How close a sync plan's sizes come to the files the sync really puts on an
// iPod. Ten generated clips of 10 seconds, of different kinds (MPEG-4 in
// AVI, MPEG-2, WMV, QuickTime, Matroska with subtitles, a picture without sound,
// an odd size, mono at 22050 Hz, 5.1 sound, and one under heavy grain), each
// in a folder of its own, are planned with the library's plan and then synced
// with the command line to a test iPod classic at the default profile; each
// clip's real size is what the iPod's tracks grew by, its real time what
// its sync took. Prints each clip's estimated and real size and time, then
// the totals.
// With --speeds it measures instead the seconds of film a conversion for
// each device makes in a second, converting the same clips one at a time
// with the command line: the figures the device table keeps.
//
// Usage: sync_estimate_benchmark [--speeds] [FOLDER]   (default: the temporary folder)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "Devices.h"
#include "FolderSync.h"
#include "IpodTestSupport.h"
#include "MediaWriter.h"
#include "TestMedia.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kClipUs = 10000000;
constexpr int64_t kClipMarksUs[] = {2000000, 7000000};
constexpr double kNoise = 0.1;

uint64_t TracksTotal(const fs::path& ipod) {
    std::string error;
    uint64_t total = 0;
    for (const TTestIpodTrack& track : ReadTestIpodTracks(ipod, error)) total += track.Size;
    if (!error.empty()) throw std::runtime_error(error);
    return total;
}

std::vector<TestClip> Clips() {
    std::vector<TestClip> clips;
    for (const char* name : {"avi_mpeg4_mp3.avi", "mpeg_ps_mpeg2_mp2.mpg",
                             "wmv_wmv2_wmav2.wmv", "mov_mpeg4_aac.mov", "subtitle_track.mkv", "video_only.avi",
                             "odd_size.avi", "mono_22050.avi", "surround_48000.mov"})
        clips.push_back(FindTestClip(name));
    clips.push_back(IpodSizedClip("grain_320x240.avi", kClipUs, 48));
    for (TestClip& clip : clips) {
        clip.durationUs = kClipUs;
        clip.markTimesUs = kClipMarksUs;
        // A film's sound goes on all the time; a beep in silence would cost
        // the encoder next to nothing.
        clip.noiseAmplitude = kNoise;
    }
    return clips;
}

// Runs the command, in seconds.
double Timed(const std::string& command, const char* what) {
    const auto started = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) throw std::runtime_error(std::string("running ") + what);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// Each clip in a folder of its own.
std::vector<fs::path> WriteClips(const fs::path& root) {
    std::vector<fs::path> folders;
    for (const TestClip& clip : Clips()) {
        folders.push_back(root / "clips" / fs::path(clip.fileName).stem());
        fs::create_directories(folders.back());
        WriteTestClip(clip, (folders.back() / clip.fileName).string());
    }
    return folders;
}

void MeasureSpeeds(const fs::path& root) {
    const std::vector<fs::path> folders = WriteClips(root);
    for (const TDevice& device : Devices()) {
        double seconds = 0;
        for (const fs::path& folder : folders)
            seconds += Timed(std::string("'") + TOVRELA_CLI_PATH + "' convert --jobs 1 --overwrite --device " +
                                 device.ShortName + " --output-folder '" + (root / "out").string() + "' '" +
                                 folder.string() + "' >/dev/null 2>&1",
                             device.ShortName);
        const double film = static_cast<double>(kClipUs) / 1e6 * static_cast<double>(folders.size());
        std::printf("%-10s %6.1f s of film in %6.1f s: %5.2f s of film a second\n", device.ShortName, film, seconds,
                    film / seconds);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        BindTestLibraries();
        const bool speeds = argc > 1 && std::string(argv[1]) == "--speeds";
        const int folderArgument = speeds ? 2 : 1;
        const fs::path root = (argc > folderArgument ? fs::path(argv[folderArgument]) : fs::temp_directory_path()) /
                              "sync_estimate_benchmark";
        fs::remove_all(root);
        if (speeds) {
            MeasureSpeeds(root);
            fs::remove_all(root);
            return 0;
        }
        const fs::path ipod = root / "ipod";
        const std::string made = MakeTestIpod(ipod, "MB029", true);
        if (!made.empty()) throw std::runtime_error("making the test iPod: " + made);
        uint64_t estimated = 0;
        uint64_t real = 0;
        double estimatedSeconds = 0;
        double realSeconds = 0;
        const std::vector<TestClip> clips = Clips();
        const std::vector<fs::path> folders = WriteClips(root);
        for (size_t i = 0; i < clips.size(); ++i) {
            const TestClip& clip = clips[i];
            const fs::path& folder = folders[i];

            TSyncRequest request;
            request.Folders = {folder.string()};
            request.Mount = ipod.string();
            TFolderSyncPlan plan;
            std::string error;
            if (PlanFolderSync(request, plan, error) != TSyncPlanStatus::Planned || plan.Items.size() != 1)
                throw std::runtime_error(std::string("planning ") + clip.fileName + ": " + error);
            const uint64_t before = TracksTotal(ipod);
            const double seconds = Timed(std::string("'") + TOVRELA_CLI_PATH + "' sync '" + folder.string() +
                                             "' --to '" + ipod.string() + "' >/dev/null 2>&1",
                                         clip.fileName);
            const uint64_t estimate = plan.Items[0].EstimatedBytes;
            const uint64_t size = TracksTotal(ipod) - before;
            estimated += estimate;
            real += size;
            estimatedSeconds += plan.Items[0].EstimatedSeconds;
            realSeconds += seconds;
            std::printf("%-24s estimate %9llu  real %9llu  %+6.1f %%   time: estimate %5.1f s  real %5.1f s\n",
                        clip.fileName, static_cast<unsigned long long>(estimate),
                        static_cast<unsigned long long>(size),
                        (static_cast<double>(estimate) / static_cast<double>(size) - 1) * 100,
                        plan.Items[0].EstimatedSeconds, seconds);
            std::fflush(stdout);
        }
        std::printf("total                    estimate %9llu  real %9llu  %+6.1f %%   time: estimate %5.1f s  real %5.1f s "
                    "(%+.0f %%)\n",
                    static_cast<unsigned long long>(estimated), static_cast<unsigned long long>(real),
                    (static_cast<double>(estimated) / static_cast<double>(real) - 1) * 100, estimatedSeconds,
                    realSeconds, (estimatedSeconds / realSeconds - 1) * 100);
        fs::remove_all(root);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "sync_estimate_benchmark: %s\n", failure.what());
        return 1;
    }
}

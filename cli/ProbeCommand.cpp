#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "AVProbe.h"
#include "CommandSupport.h"
#include "Commands.h"

namespace {

const char kProbeHelp[] =
    "Usage: tovrela-cli probe [--libav DIR] [--plain-names] FILE...\n"
    "\n"
    "Describes each media file as key=value lines followed by a blank line:\n"
    "file, format, duration_us, start_time_us, bit_rate, streams, programs,\n"
    "video_streams, audio_streams, subtitle_streams, first_video, first_audio,\n"
    "first_subtitle, title, author, copyright, comment, album, year, track, genre.\n"
    "\n"
    "  --libav DIR     bind the FFmpeg libraries found in DIR instead of the system's\n"
    "  --plain-names   load libavutil.so ... instead of libavutil.so.57 ...\n"
    "\n"
    "Exit status: 0 when every file was described, 1 when any file could not be\n"
    "opened (its message goes to standard error), 2 on a usage error, 3 when the\n"
    "libraries cannot be bound.\n";

void PrintLine(const char* key, const std::string& value) {
    std::fputs(key, stdout);
    std::fputc('=', stdout);
    std::fputs(value.c_str(), stdout);
    std::fputc('\n', stdout);
}

void PrintDescription(const std::string& file, const TAVProbe& probe, const TAVFileInfo& info,
                      const std::string& format) {
    PrintLine("file", file);
    PrintLine("format", format);
    PrintLine("duration_us", std::to_string(info.Duration));
    PrintLine("start_time_us", std::to_string(info.StartTime));
    PrintLine("bit_rate", std::to_string(info.BitRate));
    PrintLine("streams", std::to_string(probe.StreamCount()));
    PrintLine("programs", std::to_string(probe.ProgramCount()));
    PrintLine("video_streams", std::to_string(probe.VideoStreamCount()));
    PrintLine("audio_streams", std::to_string(probe.AudioStreamCount()));
    PrintLine("subtitle_streams", std::to_string(probe.SubtitleStreamCount()));
    PrintLine("first_video", std::to_string(probe.FirstVideoStream()));
    PrintLine("first_audio", std::to_string(probe.FirstAudioStream()));
    PrintLine("first_subtitle", std::to_string(probe.FirstSubtitleStream()));
    PrintLine("title", info.Title);
    PrintLine("author", info.Author);
    PrintLine("copyright", info.Copyright);
    PrintLine("comment", info.Comment);
    PrintLine("album", info.Album);
    PrintLine("year", std::to_string(info.Year));
    PrintLine("track", std::to_string(info.Track));
    PrintLine("genre", info.Genre);
    std::fputc('\n', stdout);
}

}  // namespace

int RunProbeCommand(const std::vector<std::string>& arguments) {
    if (PrintHelpIfAsked(arguments, kProbeHelp)) return 0;
    TLibraryArguments parsed;
    if (!ParseLibraryArguments("probe", arguments, parsed)) return 2;
    if (!BindLibrariesOrReport(parsed.libraryFolder, parsed.versionedNames)) return kBindFailureStatus;
    int status = 0;
    TAVProbe probe;
    for (const std::string& file : parsed.files) {
        try {
            if (!probe.Open(file, std::string())) {
                std::fprintf(stderr, "%s\n", probe.ErrorMessage().c_str());
                status = 1;
                continue;
            }
            TAVFileInfo info;
            probe.GetInfo(info);
            PrintDescription(file, probe, info, probe.ContainerFormat());
            probe.Close();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            status = 1;
        }
    }
    return status;
}

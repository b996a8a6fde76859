#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Devices.h"
#include "ProcessSetup.h"

namespace {

void PrintUsage(std::FILE* stream) {
    std::fputs(
        "Usage: tovrela-cli COMMAND [ARGUMENTS]\n"
        "\n"
        "Commands:\n"
        "  probe [--libav DIR] [--plain-names] FILE...   describe media files\n"
        "  transcode [--setup-only] -i INPUT [-x NAME=VALUE]... OUTPUT\n"
        "                                                convert one task (or only set it up and describe its output)\n"
        "  options [-x NAME=VALUE]... [--text-file FILE]  show the engine's option state\n"
        "  convert [--device NAME] [--profile N] [--output-folder DIR] [--overwrite] [--jobs N] FILE|FOLDER...\n"
        "                                                convert files into files a device plays\n"
        "  check [--device NAME] [--libav DIR] [--plain-names] FILE...\n"
        "                                                tell whether files play on a device\n"
        "  ipods [FOLDER...]                             list the iPods and whether videos can go on them\n"
        "  send MOUNT FILE...                            put files on the iPod mounted at MOUNT\n"
        "  ipod check|restore MOUNT                      check or repair an iPod's library, or put a backup back\n"
        "  ipod list|remove MOUNT                        list the videos on an iPod, or take some off\n"
        "  sync FOLDER... --to MOUNT [--dry-run]         keep folders of videos on an iPod\n"
        "  --version, -V                                 show the program's and the FFmpeg libraries' versions\n"
        "\n",
        stream);
    std::fputs("Devices for --device:\n", stream);
    for (const TDevice& device : Devices()) std::fprintf(stream, "  %-12s %s\n", device.ShortName, device.Name);
    std::fputs("\nRun 'tovrela-cli COMMAND --help' for a command's options.\n", stream);
}

}  // namespace

int main(int argc, char** argv) {
    PrepareProcessForConversions();
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> arguments(argv + 2, argv + argc);
    if (command == "probe") return RunProbeCommand(arguments);
    if (command == "transcode") return RunTranscodeCommand(arguments);
    if (command == "options") return RunOptionsCommand(arguments);
    if (command == "convert") return RunConvertCommand(arguments);
    if (command == "check") return RunCheckCommand(arguments);
    if (command == "ipods") return RunIpodsCommand(arguments);
    if (command == "send") return RunSendCommand(arguments);
    if (command == "ipod") return RunIpodCommand(arguments);
    if (command == "sync") return RunSyncCommand(arguments);
    if (command == "--version" || command == "-V") return RunVersionCommand();
    if (command == "--help" || command == "-h" || command == "help") {
        PrintUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "tovrela-cli: unknown command '%s'\n", command.c_str());
    PrintUsage(stderr);
    return 2;
}

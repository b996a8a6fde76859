#include <cstdarg>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "CommandSupport.h"
#include "Commands.h"
#include "FFmpeg.h"
#include "StopSignals.h"

namespace {

const char kTranscodeHelp[] =
    "Usage: tovrela-cli transcode [--setup-only] -i INPUT [-x NAME=VALUE]... OUTPUT\n"
    "\n"
    "Sets up one conversion task the way the converter does and converts it:\n"
    "the -x options given before -i are input options, applied before INPUT is\n"
    "opened; those after it are output options (a \"target\" preset among them),\n"
    "applied before OUTPUT is created. The engine's log lines go to standard\n"
    "error. Ctrl-C (or SIGTERM, SIGHUP) stops the conversion; the output written\n"
    "so far is finished and kept, beside an existing OUTPUT as \"NAME (stopped).EXT\"\n"
    "rather than in its place. OUTPUT is written under a hidden temporary name\n"
    "(.tovrela-part-XXXXXX) and renamed when complete, so an existing OUTPUT stays\n"
    "as it was until then, and stays entirely when the conversion fails.\n"
    "\n"
    "With --setup-only nothing is converted: the output's format and streams are\n"
    "printed, then everything is released; no file is written or changed.\n"
    "\n"
    "  --setup-only      only set the task up and describe its output\n"
    "  -i INPUT          the file to convert\n"
    "  -x NAME=VALUE     apply one line of option text (a NAME alone has an empty value)\n"
    "\n"
    "Exit status: 0 when the task was set up (and converted, or stopped), 2 when\n"
    "set-up or the conversion failed (its message goes to standard error) or on a\n"
    "usage error, 3 when the libraries cannot be bound.\n";

struct TranscodeArguments {
    bool setupOnly = false;
    std::string input;
    std::string output;
    std::vector<std::string> inputOptions;
    std::vector<std::string> outputOptions;
};

bool UsageError(const std::string& text) {
    std::fprintf(stderr, "tovrela-cli transcode: %s\n", text.c_str());
    return false;
}

// Returns false with a message on standard error when the words do not parse.
bool ParseArguments(const std::vector<std::string>& words, TranscodeArguments& parsed) {
    bool inputSeen = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool hasArgument = i + 1 < words.size();
        if (word == "--setup-only") {
            parsed.setupOnly = true;
        } else if (word == "-i" && hasArgument) {
            if (inputSeen) return UsageError("only one -i INPUT can be given");
            parsed.input = words[++i];
            inputSeen = true;
        } else if (word == "-x" && hasArgument) {
            (inputSeen ? parsed.outputOptions : parsed.inputOptions).push_back(words[++i]);
        } else if (!word.empty() && word[0] != '-' && parsed.output.empty()) {
            parsed.output = word;
        } else {
            return UsageError("unexpected argument '" + word + "'");
        }
    }
    if (!inputSeen) return UsageError("no -i INPUT given");
    if (parsed.output.empty()) return UsageError("no OUTPUT given");
    return true;
}

// The engine's progress line is rewritten in place while the conversion
// runs; any other line starts below it.
bool progressLineShown = false;

void EndProgressLine() {
    if (progressLineShown) std::fputc('\n', stderr);
    progressLineShown = false;
}

void ShowProgressLine(void*, TCustomFFmpeg* sender, const TCustomFFmpeg::TProgressValues&) {
    std::fprintf(stderr, "\r%s", sender->progress_line.c_str());
    std::fflush(stderr);
    progressLineShown = true;
}

void LogToStandardError(void*, TCustomFFmpeg*, int, const std::string& text) {
    EndProgressLine();
    std::fprintf(stderr, "%s\n", text.c_str());
}

// The output's description is what the command is for, so it goes to
// standard output rather than where the libraries' other lines go.
void LibraryLineToStandardOutput(void* context, int level, const char* format, va_list arguments) {
    if (level > ff::av_log_get_level()) return;
    static int printPrefix = 1;
    char line[1024];
    ff::av_log_format_line2(context, level, format, arguments, line, sizeof line, &printPrefix);
    std::fputs(line, stdout);
}

void PrintOutput(AVFormatContext* output) {
    std::fflush(stderr);
    ff::av_log_set_callback(&LibraryLineToStandardOutput);
    ff::av_dump_format(output, 0, output->url, 1);
    ff::av_log_set_callback(ff::av_log_default_callback);
    std::fflush(stdout);
}

// Raises with the engine's message when a set-up step fails.
void SetUp(TCustomFFmpeg& engine, const TranscodeArguments& arguments) {
    engine.Initialize();
    for (const std::string& line : arguments.inputOptions) engine.ApplyOptionText(line);
    engine.OpenInputFile(arguments.input);
    for (const std::string& line : arguments.outputOptions) engine.ApplyOptionText(line);
    engine.OpenOutputFile(arguments.output);
}

}  // namespace

int RunTranscodeCommand(const std::vector<std::string>& arguments) {
    if (PrintHelpIfAsked(arguments, kTranscodeHelp)) return 0;
    TranscodeArguments parsed;
    if (!ParseArguments(arguments, parsed)) return 2;
    if (!BindLibrariesOrReport("", true)) return kBindFailureStatus;
    TCustomFFmpeg engine;
    engine.SetLogHandler(&LogToStandardError, nullptr);
    try {
        SetUp(engine, parsed);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    if (parsed.setupOnly) {
        PrintOutput(engine.output_contexts[0].get());
        engine.CleanUp();
        return 0;
    }
    engine.progress_handler = &ShowProgressLine;
    int status = 0;
    {
        // A stop signal asks the conversion to stop; it ends at its next pass
        // with its output finished.
        TStopSignals stopSignals([&engine] { engine.stop_requested = true; });
        try {
            engine.Transcode();
        } catch (const std::exception& error) {
            EndProgressLine();
            std::fprintf(stderr, "%s\n", error.what());
            status = 2;
        }
    }
    EndProgressLine();
    // A stopped conversion leaves an existing OUTPUT as it was.
    for (const std::string& written : engine.written_outputs)
        if (!written.empty() && written != parsed.output)
            std::fprintf(stderr, "The stopped conversion was kept as '%s'\n", written.c_str());
    engine.CleanUp();
    return status;
}

#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Commands.h"
#include "FFmpeg.h"
#include "LibraryBinding.h"
#include "OptionStateDescription.h"

namespace {

const char kOptionsHelp[] =
    "Usage: tovrela-cli options [-x NAME=VALUE]... [--text-file FILE]...\n"
    "\n"
    "Prepares a fresh engine, applies the options in the order given and prints\n"
    "the engine's option state as name=value lines. The engine's log lines go to\n"
    "standard error.\n"
    "\n"
    "  -x NAME=VALUE      apply one line of option text (a NAME alone has an empty value)\n"
    "  --text-file FILE   apply the option text in FILE, one NAME=VALUE per line\n"
    "\n"
    "Exit status: 0 when every option was applied, 2 when an option was refused\n"
    "(its message goes to standard error) or on a usage error, 3 when the\n"
    "libraries cannot be bound.\n";

// One thing to do to the engine, in command-line order.
struct OptionsStep {
    enum class Kind { OptionLine, OptionTextFile };
    Kind kind;
    std::string argument;
};

// Returns false with a message on standard error when the words do not parse.
bool ParseArguments(const std::vector<std::string>& words, std::vector<OptionsStep>& steps) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool hasArgument = i + 1 < words.size();
        if (word == "-x" && hasArgument) {
            steps.push_back({OptionsStep::Kind::OptionLine, words[++i]});
        } else if (word == "--text-file" && hasArgument) {
            steps.push_back({OptionsStep::Kind::OptionTextFile, words[++i]});
        } else {
            std::fprintf(stderr, "tovrela-cli options: unexpected argument '%s'\n", word.c_str());
            return false;
        }
    }
    return true;
}

std::string ReadTextFile(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file) throw std::runtime_error("Cannot read option text file: " + fileName);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void ApplyStep(TCustomFFmpeg& engine, const OptionsStep& step) {
    switch (step.kind) {
        case OptionsStep::Kind::OptionLine:
        case OptionsStep::Kind::OptionTextFile:
            engine.ApplyOptionText(step.kind == OptionsStep::Kind::OptionLine
                                       ? step.argument
                                       : ReadTextFile(step.argument));
            break;
    }
}

void LogToStandardError(void*, TCustomFFmpeg*, int, const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace

int RunOptionsCommand(const std::vector<std::string>& arguments) {
    for (const std::string& word : arguments) {
        if (word == "--help" || word == "-h") {
            std::fputs(kOptionsHelp, stdout);
            return 0;
        }
    }
    std::vector<OptionsStep> steps;
    if (!ParseArguments(arguments, steps)) return 2;
    if (!BindLibraries("", true)) {
        std::fprintf(stderr, "%s\n", BindErrorText().c_str());
        return 3;
    }
    TCustomFFmpeg engine;
    engine.SetLogHandler(&LogToStandardError, nullptr);
    try {
        engine.Initialize();
        for (const OptionsStep& step : steps) ApplyStep(engine, step);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    for (const auto& [name, value] : DescribeOptionState(engine))
        std::printf("%s=%s\n", name.c_str(), value.c_str());
    return 0;
}

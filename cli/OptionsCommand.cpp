#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CommandSupport.h"
#include "Commands.h"
#include "FFmpeg.h"
#include "OptionStateDescription.h"

namespace {

const char kOptionsHelp[] =
    "Usage: tovrela-cli options [-x NAME=VALUE]... [--text-file FILE]... [-i INPUT]...\n"
    "\n"
    "Prepares a fresh engine, applies the options and opens the inputs in the\n"
    "order given and prints the engine's option state as name=value lines. An\n"
    "opened input leaves its picture and sound properties in the state, so the\n"
    "options given after -i see them. The engine's log lines and the inputs'\n"
    "descriptions go to standard error.\n"
    "\n"
    "  -x NAME=VALUE      apply one line of option text (a NAME alone has an empty value)\n"
    "  --text-file FILE   apply the option text in FILE, one NAME=VALUE per line\n"
    "  -i INPUT           open INPUT with the options given so far\n"
    "\n"
    "Exit status: 0 when every option was applied and every input opened, 2 when\n"
    "an option was refused or an input could not be opened (the message goes to\n"
    "standard error) or on a usage error, 3 when the libraries cannot be bound.\n";

// One thing to do to the engine, in command-line order.
struct OptionsStep {
    enum class Kind { OptionLine, OptionTextFile, OpenInput };
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
        } else if (word == "-i" && hasArgument) {
            steps.push_back({OptionsStep::Kind::OpenInput, words[++i]});
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
        case OptionsStep::Kind::OpenInput:
            engine.OpenInputFile(step.argument);
            break;
    }
}

void LogToStandardError(void*, TCustomFFmpeg*, int, const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace

int RunOptionsCommand(const std::vector<std::string>& arguments) {
    if (PrintHelpIfAsked(arguments, kOptionsHelp)) return 0;
    std::vector<OptionsStep> steps;
    if (!ParseArguments(arguments, steps)) return 2;
    if (!BindLibrariesOrReport("", true)) return kBindFailureStatus;
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

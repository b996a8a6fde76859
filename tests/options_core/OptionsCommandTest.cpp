#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;

    // The value printed for a field, or "(missing)".
    std::string Field(const std::string& name) const {
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(name + "=", 0) == 0) return line.substr(name.size() + 1);
        return "(missing)";
    }
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs "tovrela-cli options" with the arguments, each quoted for the shell.
CommandResult RunOptions(const std::vector<std::string>& arguments) {
    const auto errFile = std::filesystem::temp_directory_path() /
                         ("options_core_cli_" + std::to_string(getpid()) + ".err");
    std::string command = std::string("'") + TOVRELA_CLI + "' options";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " 2>'" + errFile.string() + "'";
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) result.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadFile(errFile);
    std::filesystem::remove(errFile);
    return result;
}

TEST(OptionsCommandTest, PrintsTheDefaultStateOneFieldPerLine) {
    const CommandResult result = RunOptions({});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("input_contexts=\n", 0), 0u);
    EXPECT_EQ(result.Field("audio_sample_rate"), "44100");
    EXPECT_EQ(result.Field("max_frames"), "2147483647,2147483647,2147483647,2147483647");
    EXPECT_EQ(result.Field("frame_rate"), "0/0");
    EXPECT_EQ(result.Field("mux_max_delay"), "0.7");
    EXPECT_EQ(result.Field("recording_time"), "9223372036854775807");
}

TEST(OptionsCommandTest, AppliesLinesAndTextFilesInOrder) {
    const auto textFile = std::filesystem::temp_directory_path() /
                          ("options_core_cli_" + std::to_string(getpid()) + ".txt");
    std::ofstream(textFile) << "loop_output=4\r\nvn\r\ng=25\r\n";
    const CommandResult result =
        RunOptions({"-x", "loop_output=2", "--text-file", textFile.string(), "-x", "i=ignored.avi"});
    std::filesystem::remove(textFile);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.Field("loop_output"), "4");
    EXPECT_EQ(result.Field("video_disable"), "1");
    EXPECT_EQ(result.Field("option_names"), "g");
    EXPECT_EQ(result.err, "Do nothing: option - i\n");
}

TEST(OptionsCommandTest, RefusedOptionExitsWithItsMessage) {
    const CommandResult result = RunOptions({"-x", "vn", "-x", "threads=2"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "TODO: option - threads\n");
    EXPECT_EQ(result.out, "");
}

TEST(OptionsCommandTest, OddFrameSizeIsRefused) {
    const CommandResult result = RunOptions({"-x", "s=641x480"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("Frame size must be a multiple of 2"), std::string::npos) << result.err;
}

TEST(OptionsCommandTest, AspectAndPadColourArePrinted) {
    const CommandResult result = RunOptions({"-x", "aspect=16:9", "-x", "padcolor=255"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.Field("frame_aspect_ratio"), "1.77778");
    EXPECT_EQ(result.Field("padcolor_y") + "/" + result.Field("padcolor_u") + "/" + result.Field("padcolor_v"),
              "76/85/255");
}

TEST(OptionsCommandTest, UsageErrorsExitWithTwo) {
    EXPECT_EQ(RunOptions({"-x"}).status, 2);
    EXPECT_EQ(RunOptions({"--bogus"}).status, 2);
    EXPECT_EQ(RunOptions({"--text-file", "/nonexistent/options.txt"}).status, 2);
}

}  // namespace

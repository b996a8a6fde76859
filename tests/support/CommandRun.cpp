#include "CommandRun.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <utility>

#include "TestFiles.h"

extern char** environ;

StartedCommand::StartedCommand(std::vector<std::string> words) {
    // Each command of a test writes files of its own.
    static std::atomic<int> started{0};
    const std::string name = "command" + std::to_string(++started);
    out_ = ScratchFile(name + ".out");
    err_ = ScratchFile(name + ".err");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

StartedCommand::StartedCommand(StartedCommand&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), out_(std::move(other.out_)), err_(std::move(other.err_)) {}

StartedCommand& StartedCommand::operator=(StartedCommand&& other) noexcept {
    if (this != &other) {
        Signal(SIGKILL);
        Wait();
        pid_ = std::exchange(other.pid_, -1);
        out_ = std::move(other.out_);
        err_ = std::move(other.err_);
    }
    return *this;
}

StartedCommand::~StartedCommand() {
    Signal(SIGKILL);
    Wait();
}

int StartedCommand::Wait() {
    if (pid_ < 0) return -1;
    int status = 0;
    waitpid(std::exchange(pid_, -1), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void StartedCommand::Signal(int number) const {
    if (pid_ > 0) kill(pid_, number);
}

std::string StartedCommand::Out() const { return ReadFile(out_); }
std::string StartedCommand::Err() const { return ReadFile(err_); }

std::string CommandResult::Field(const std::string& name) const {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(name + "=", 0) == 0) return line.substr(name.size() + 1);
    return "(missing)";
}

CommandResult RunCommand(const std::vector<std::string>& words) {
    StartedCommand command(words);
    CommandResult result;
    result.status = command.Wait();
    result.out = command.Out();
    result.err = command.Err();
    return result;
}

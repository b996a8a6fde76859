#pragma once
// Programs run as a user runs them, with what they print kept in files in the
// running test's scratch folder.

#include <sys/types.h>

#include <string>
#include <vector>

// A program started with its standard output and standard error going to
// files. One still running when the object goes is killed.
class StartedCommand {
public:
    // `words` starts with the program's path.
    explicit StartedCommand(std::vector<std::string> words);
    StartedCommand(StartedCommand&& other) noexcept;
    StartedCommand& operator=(StartedCommand&& other) noexcept;
    ~StartedCommand();

    // Waits for the end; the exit status, -1 when a signal ended it.
    int Wait();
    void Signal(int number) const;
    // What it printed so far.
    std::string Out() const;
    std::string Err() const;

private:
    pid_t pid_ = -1;
    std::string out_, err_;
};

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;

    // The value of the first "name=value" line printed, or "(missing)".
    std::string Field(const std::string& name) const;
};

// Runs the program to its end.
CommandResult RunCommand(const std::vector<std::string>& words);

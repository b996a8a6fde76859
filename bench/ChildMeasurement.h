#pragma once
// Runs one piece of work in a child process and measures it there, so that
// each figure (above all the peak memory) belongs to that work alone.

#include <functional>
#include <string>
#include <vector>

struct ChildFigures {
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user + system, every thread of the child
    double peakMb = 0;      // largest resident set of the child
};

// Runs `work` in a forked child; throws std::runtime_error naming `what`
// when the child fails (the work's exception text goes to standard error).
ChildFigures MeasureInChild(const std::string& what, const std::function<void()>& work);

// Runs the program `arguments[0]` with its arguments as a child, with the
// `environment` entries ("NAME=VALUE") added to its environment and its
// output appended to the file `logPath`.
ChildFigures MeasureProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                            const std::string& logPath);

#include "ChildMeasurement.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace {

ChildFigures WaitFor(pid_t child, const std::string& what, std::chrono::steady_clock::time_point start) {
    if (child < 0) throw std::runtime_error(what + ": the child process could not be started");
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0) throw std::runtime_error(what + ": the child process was lost");
    ChildFigures figures;
    figures.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(what + " failed");
    figures.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    figures.peakMb = static_cast<double>(usage.ru_maxrss) / 1024;
    return figures;
}

}  // namespace

ChildFigures MeasureInChild(const std::string& what, const std::function<void()>& work) {
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        try {
            work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", what.c_str(), error.what());
            std::fflush(nullptr);
            _exit(1);
        }
        std::fflush(nullptr);
        _exit(0);
    }
    return WaitFor(child, what, start);
}

ChildFigures MeasureProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                            const std::string& logPath) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (log < 0 || dup2(log, STDOUT_FILENO) < 0 || dup2(log, STDERR_FILENO) < 0) {
            std::perror(logPath.c_str());
            _exit(127);
        }
        execv(argv[0], argv.data());
        std::perror(argv[0]);
        _exit(127);
    }
    return WaitFor(child, arguments[0] + " (its output is in " + logPath + ")", start);
}

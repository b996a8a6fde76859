#include "IpodLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

TIpodLock::~TIpodLock() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

bool TIpodLock::Take(const std::string& mount, const std::function<void()>& waiting,
                     std::chrono::milliseconds patience, std::string& error,
                     const std::function<bool()>& givenUp) {
    const std::string path = mount + "/iPod_Control/.tovrela-lock";
    descriptor_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor_ < 0) {
        error = std::string("cannot take its lock (") + std::strerror(errno) + ")";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    bool told = false;
    while (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            error = std::string("cannot take its lock (") + std::strerror(errno) + ")";
            return false;
        }
        if (givenUp && givenUp()) {
            error = "the wait for another program writing to it was given up; nothing was changed";
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "another program kept writing to it; nothing was changed";
            return false;
        }
        if (!told && waiting) waiting();
        told = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

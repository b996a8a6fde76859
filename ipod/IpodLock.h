#pragma once
// The iPod's own lock: every run of this program (the window, "send",
// "convert --to-ipod", "ipod check" and "ipod restore") takes it on a file in
// the iPod's control folder before it reads the database to change it, and
// holds it until the changed database is on the device, so that two writers
// never throw away each other's tracks.

#include <chrono>
#include <functional>
#include <string>

class TIpodLock {
public:
    TIpodLock() = default;
    ~TIpodLock();
    TIpodLock(const TIpodLock&) = delete;
    TIpodLock& operator=(const TIpodLock&) = delete;

    // Takes the lock of the iPod at `mount`. While another program holds it,
    // `waiting` is told once and the lock is tried again until `patience` has
    // passed, or until `givenUp` says the person no longer waits (a window
    // closed meanwhile). False with the cause otherwise.
    bool Take(const std::string& mount, const std::function<void()>& waiting, std::chrono::milliseconds patience,
              std::string& error, const std::function<bool()>& givenUp = {});

private:
    int descriptor_ = -1;
};

// How long a writer waits for another by default: longer than copying a
// large film to an iPod takes.
inline constexpr std::chrono::minutes kIpodLockPatience{10};

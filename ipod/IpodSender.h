#pragma once
// Sending files to one iPod, the same way for "send", for a conversion run
// that puts each file on as soon as it is completed, and for the window: each
// file is checked against what the iPod plays first, then put on in a change
// of its own (see TIpodLibrary), so that "on iPod" is said only once the
// database that lists it is on the device, and a file that need not stay on
// this computer is removed only then.

#include <functional>
#include <string>

#include "IpodLibrary.h"

enum class TSendOutcome { OnIpod, AlreadyThere, NotSent };

class TIpodSender {
public:
    // `notice` is told what a person should know that is not a failure:
    // waiting for another program, a file already on the iPod.
    explicit TIpodSender(TIpodLibrary::TNotice notice = {}) : notice_(std::move(notice)) {}
    // Finds the iPod in `mount` and checks that it can receive videos; false
    // with a message naming the iPod (or the folder) and the cause.
    bool Open(const std::string& mount, std::string& error);
    // Files already on the iPod are sent again.
    void SendAgain() { again_ = true; }
    // Puts the file on the iPod and, when `removeHere`, removes it from this
    // computer once the iPod's database listing it is lasting. The file it
    // was made from (`source`, the file itself when sent as it is) goes into
    // the iPod's record of synced files in the same change, when it is a
    // file on this computer, so that a sync of its folder does not put it on
    // again. NotSent with a message naming the file and the cause when it is
    // refused or cannot be sent; AlreadyThere (the file stays) with the
    // message saying so.
    TSendOutcome Send(const std::string& path, const std::string& source, bool removeHere, std::string& error);
    const TIpod& Ipod() const { return ipod_; }
    void Notice(const std::string& text) const {
        if (notice_) notice_(text);
    }

private:
    TIpodLibrary::TNotice notice_;
    TIpod ipod_;
    bool again_ = false;
    // A backup is taken before the first change of each run.
    bool backedUp_ = false;
};

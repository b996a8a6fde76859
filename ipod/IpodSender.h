#pragma once
// Sending files to one iPod, the same way for "send", for a conversion run
// that puts each file on as soon as it is completed, and for the window: each
// file is checked against what the iPod plays first, the database is written
// once at the end (after every file once the run is stopped), and files that
// need not stay on this computer are removed only once the iPod's database
// lists them.

#include <string>
#include <vector>

#include "IpodLibrary.h"

class TIpodSender {
public:
    // Finds the iPod in `mount` and reads its database; false with a message
    // naming the iPod (or the folder) and the cause.
    bool Open(const std::string& mount, std::string& error);
    // Puts the file on the iPod. False with a message naming the file and the
    // cause when it is refused or cannot be sent.
    bool Send(const std::string& path, std::string& error);
    // From now on the database is written after every file; what was sent
    // so far is written now. False with the message when that write fails.
    bool WriteAfterEveryFile(std::string& error);
    // Writes the database, then removes the sent files marked to go. False
    // with the message when the write fails (every file then stays here).
    bool Finish(std::string& error);
    // The files that the last failed write of the database took off the
    // iPod again.
    const std::vector<std::string>& TakenOff() const { return takenOff_; }
    // The file is removed from this computer once the iPod lists it.
    void RemoveWhenListed(const std::string& path) { toRemove_.push_back(path); }
    const TIpod& Ipod() const { return library_.Ipod(); }

private:
    TIpodLibrary library_;
    bool everyFile_ = false;
    std::vector<std::string> toRemove_;
    std::vector<std::string> sent_;
    std::vector<std::string> unsaved_;  // sent since the database was last written
    std::vector<std::string> takenOff_;
    bool Save(std::string& error);
};

#pragma once
// Finding the iPods a person can send videos to: the mounted file systems
// that carry an iPod's database, and any folder named, each with the name and
// model the iPod reports and whether this program can write its database.

#include <string>
#include <vector>

#include "Devices.h"

enum class TIpodSupport {
    Supported,
    NeedsFirewireGuid,  // its database must be signed, and the ID to sign with is missing
    Refused,            // no video, or a database libgpod cannot sign
    NotAnIpod,
};

struct TIpod {
    std::string Mount;
    std::string Name;         // the name its database gives it; empty when unreadable
    std::string Model;        // e.g. "Classic (Silver)"; empty when unknown
    std::string Generation;   // e.g. "Video (1st Gen.)"
    std::string ModelNumber;  // e.g. "MA002"
    TIpodSupport Support = TIpodSupport::NotAnIpod;
    std::string Reason;       // why it cannot be written and what to do; empty when it can
    // Why videos go on without a poster; empty when they get one.
    std::string NoPosterReason;
    // The row of the device table whose files it plays best; the default
    // row when its model is older or unknown.
    size_t Device = kDefaultDeviceIndex;
    // Where its model plays less than the device rows say.
    TModelVideoLimit VideoLimit;
    // What the person sees: the name, else the folder.
    std::string Label() const { return Name.empty() ? Mount : Name; }
};

// Whether `folder` holds an iPod's database (iPod_Control/iTunes/iTunesDB).
bool HoldsIpodDatabase(const std::string& folder);
// The iPod in `folder`; Support NotAnIpod (with the reason) when it is none.
TIpod DescribeIpod(const std::string& folder);
// The iPods mounted now, in mount-table order.
std::vector<TIpod> MountedIpods();
// One line for a list: "NAME (MODEL) at MOUNT: can receive videos" or the reason.
std::string IpodLine(const TIpod& ipod);

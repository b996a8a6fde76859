#pragma once
// Copies of an iPod's library kept on the iPod itself: the track database
// and the artwork database with the picture files it points into, taken
// before this program writes a database that read completely. The three
// newest are kept, so that a run that went wrong never replaces the last good
// library; "tovrela-cli ipod restore" puts one back.

#include <cstdint>
#include <string>
#include <vector>

struct TIpodBackup {
    std::string Name;    // when it was taken, e.g. "2026-12-09 22-15-03"
    std::string Folder;  // where it is
    uintmax_t Bytes = 0;
};

inline constexpr size_t kKeptBackups = 3;

// The backups on the iPod at `mount`, newest first.
std::vector<TIpodBackup> IpodBackups(const std::string& mount);
// The room a new backup takes.
uintmax_t NewBackupBytes(const std::string& mount);
// Takes a backup and removes the oldest beyond the three newest. False with
// the cause; a backup that could not be taken whole is removed.
bool TakeIpodBackup(const std::string& mount, std::string& error);
// Puts the backup's databases and picture files back in place, each through
// a temporary name. False with the cause.
bool RestoreIpodBackup(const std::string& mount, const TIpodBackup& backup, std::string& error);

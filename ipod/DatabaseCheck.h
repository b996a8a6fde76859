#pragma once
// Whether an iPod's database can be read safely and completely. A damaged
// database can make libgpod abort or crash the program reading it, and on
// some damage it reads only part of the tracks, warning once; written back,
// such a database would lose the rest. So the database is first read in a
// short-lived child process, which reports what it found, and only one that
// read completely is read (and later written) by this program.

#include <string>

enum class TDatabaseState {
    Complete,
    Unreadable,      // libgpod refused it, with its message
    Damaged,         // reading the track database took the reader down
    ArtworkDamaged,  // reading the artwork database took the reader down
    Incomplete,      // libgpod warned, or read fewer tracks than the file lists
};

struct TDatabaseCheck {
    TDatabaseState State = TDatabaseState::Complete;
    std::string Message;  // Unreadable: libgpod's message
    // Some artwork is on the iPod (.ithmb files) but none of it could be
    // read, so writing the artwork would throw it away.
    bool ArtworkUnreadable = false;
};

TDatabaseCheck CheckDatabaseApart(const std::string& mount);

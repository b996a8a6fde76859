#pragma once
// An output is written under a temporary name beside its final one and moved
// to the final name only once it is complete, so that a file under its final
// name is always a finished one and a file it replaces stays untouched until
// then. The temporary name reads "NAME.mp4.tovrela-part-PID": a person can
// tell what it is, and the process id with the lock this process holds on it
// tell a later run whether anyone still writes it.

#include <string>

class TPartialOutput {
public:
    TPartialOutput() = default;
    // Removes the temporary file unless it was committed.
    ~TPartialOutput();
    TPartialOutput(const TPartialOutput&) = delete;
    TPartialOutput& operator=(const TPartialOutput&) = delete;

    // Creates the temporary file for `finalPath`; 0, or the errno of the failure.
    int Create(const std::string& finalPath);
    const std::string& Path() const { return path_; }
    // Makes the written file durable and gives it its final name, replacing
    // any file of that name at once; 0, or the errno of the failure.
    int Commit();

    // Temporaries left in `folder` by conversions that no longer run (killed
    // beyond catching) are removed; each folder is looked at once per process.
    static void RemoveAbandoned(const std::string& folder);
    // For a signal handler that ends the program at once: removes every
    // temporary of this process. Async-signal-safe.
    static void RemoveAllNow();
    // The marker in every temporary name.
    static constexpr const char* kMarker = ".tovrela-part-";

private:
    void Discard();
    std::string final_;
    std::string path_;
    int descriptor_ = -1;
    int slot_ = -1;
};

#pragma once
// An output is written under a temporary name beside its final one and moved
// to the final name only once it is complete, so that a file under its final
// name is always a finished one and a file it replaces stays untouched until
// then. The temporary is a short hidden name in the same folder
// (".tovrela-part-" and six random characters), so it fits wherever the final
// name fits; the lock its writer holds on it tells a later run whether
// anyone still writes it.

#include <string>

class TPartialOutput {
public:
    TPartialOutput() = default;
    // Removes the temporary file unless it was committed.
    ~TPartialOutput();
    TPartialOutput(const TPartialOutput&) = delete;
    TPartialOutput& operator=(const TPartialOutput&) = delete;

    // Creates the temporary file for `finalPath`, on behalf of `owner` (the
    // holder of the output's claim); 0, or the errno of the failure.
    int Create(const std::string& finalPath, const void* owner = nullptr);
    const std::string& Path() const { return path_; }

    // What becomes of a file that already holds the final name.
    enum class TFinish {
        Replace,       // the finished file takes its place
        KeepExisting,  // the finished file takes the next free "(n)" name
        // A stopped run: a file that did not exist keeps the final name, an
        // existing one stays and the stopped part goes beside it as
        // "NAME (stopped).EXT".
        KeepExistingStopped,
    };
    // Makes the written file durable and gives it its name; 0, or the errno
    // of the failure. WrittenPath() then names the file.
    int Commit(TFinish finish);
    const std::string& WrittenPath() const { return written_; }

    // Temporaries left in `folder` by conversions that no longer run (killed
    // beyond catching: nobody holds their lock) are removed; each folder is
    // looked at once per process.
    static void RemoveAbandoned(const std::string& folder);
    // For a signal handler that ends the program at once: removes every
    // temporary of this process. Async-signal-safe.
    static void RemoveAllNow();
    // The marker in every temporary name.
    static constexpr const char* kMarker = ".tovrela-part-";

private:
    void Discard();
    // Moves the temporary to the first of the names `candidate` gives
    // (0, 1, 2 ...) that holds no file and that no other task claims.
    int MoveToFreeName(std::string (*candidate)(const std::string& finalPath, int number));
    std::string final_;
    std::string path_;
    std::string written_;
    const void* owner_ = nullptr;
    int descriptor_ = -1;
    int slot_ = -1;
};

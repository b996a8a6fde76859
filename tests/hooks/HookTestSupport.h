#pragma once
// What the hook tests share: the test modules, their journals, the library
// log lines written meanwhile, and a look at the pictures of an output.

#include <string>
#include <vector>

// Full paths of the test modules and the example modules.
std::string RecorderModule();     // Configure, Process, Release; "refuse" refuses
std::string ProcessOnlyModule();  // only Process
std::string NoProcessModule();    // only Configure
std::string DrawBoxModule();
std::string FrameCountModule();

// The lines the module wrote since its journal was last cleared.
std::vector<std::string> Journal(const std::string& module);
void ClearJournal(const std::string& module);
// The journal's lines that start with the text.
std::vector<std::string> JournalLines(const std::string& module, const std::string& start);

// Collects the library log lines written while it exists.
class LibraryLogCapture {
public:
    LibraryLogCapture();
    ~LibraryLogCapture();
    LibraryLogCapture(const LibraryLogCapture&) = delete;
    LibraryLogCapture& operator=(const LibraryLogCapture&) = delete;
    std::vector<std::string> Lines() const;
};

// Average of each plane over every decoded picture of the output's video.
struct PlaneMeans {
    double y = 0, u = 0, v = 0;
    int pictures = 0;
};
PlaneMeans DecodedPlaneMeans(const std::string& path);

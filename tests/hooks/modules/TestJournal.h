#pragma once
// What a test module was asked to do, one line per call, read back by the
// tests through the module's own TestJournal export.

#include <mutex>
#include <string>

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

inline std::mutex g_journalMutex;
inline std::string g_journal;

inline void Note(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_journalMutex);
    g_journal += line + "\n";
}

TEST_EXPORT const char* TestJournal() {
    std::lock_guard<std::mutex> lock(g_journalMutex);
    static thread_local std::string copy;
    copy = g_journal;
    return copy.c_str();
}

TEST_EXPORT void ClearTestJournal() {
    std::lock_guard<std::mutex> lock(g_journalMutex);
    g_journal.clear();
}

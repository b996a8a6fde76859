#pragma once
// Files for tests: a scratch folder per test, and whole files read and
// written at once.

#include <filesystem>
#include <string>

// An empty folder of the running test's own, made when the test first asks.
// Each test program has its own root, so programs running side by side never
// share a folder; a test's folder goes when the next test asks for one, and
// the root when the program ends.
std::filesystem::path ScratchFolder();
// The path of `name` inside the scratch folder.
std::string ScratchFile(const std::string& name);

// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& contents);

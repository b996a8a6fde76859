#include "TestFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

namespace {

class ScratchRoot {
public:
    ScratchRoot()
        : root_(std::filesystem::temp_directory_path() / ("tovrela-test-" + std::to_string(getpid()))) {}
    ~ScratchRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::filesystem::path FolderFor(const std::string& test) {
        std::lock_guard guard(mutex_);
        const std::filesystem::path folder = root_ / test;
        if (folder != current_) {
            std::error_code ignored;
            if (!current_.empty()) std::filesystem::remove_all(current_, ignored);
            std::filesystem::remove_all(folder, ignored);
            std::filesystem::create_directories(folder);
            current_ = folder;
        }
        return folder;
    }

private:
    std::mutex mutex_;
    const std::filesystem::path root_;
    std::filesystem::path current_;
};

}  // namespace

std::filesystem::path ScratchFolder() {
    static ScratchRoot root;
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    return root.FolderFor(name);
}

std::string ScratchFile(const std::string& name) { return (ScratchFolder() / name).string(); }

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

void WriteFile(const std::filesystem::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

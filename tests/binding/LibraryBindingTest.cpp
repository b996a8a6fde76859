#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LibraryBinding.h"
#include "LibraryFileName.h"
#include "MyUtilHlpr.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

const std::string kAVCodec = VersionedLibraryName("libavcodec", LIBAVCODEC_VERSION_MAJOR);
const std::string kAVFormat = VersionedLibraryName("libavformat", LIBAVFORMAT_VERSION_MAJOR);

// Where the dynamic loader finds the system's copy of a library.
std::string SystemLibraryPath(const std::string& fileName) {
    // Kept mapped after the lookup, as the binding keeps what it loads: the
    // initialisers of what the library pulls in allocate process-wide state.
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) return {};
    link_map* map = nullptr;
    std::string path;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map) path = map->l_name;
    dlclose(handle);
    return path;
}

std::vector<std::string> CodecLibraryFiles() {
    return {VersionedLibraryName("libavutil", LIBAVUTIL_VERSION_MAJOR),
            VersionedLibraryName("libswresample", LIBSWRESAMPLE_VERSION_MAJOR),
            VersionedLibraryName("libswscale", LIBSWSCALE_VERSION_MAJOR),
            kAVCodec,
            kAVFormat,
            VersionedLibraryName("libavfilter", LIBAVFILTER_VERSION_MAJOR)};
}

std::vector<LibraryBinder*> AllBinders() {
    return {&AVCodecBinder(), &AVFilterBinder(), &AVFormatBinder(), &AVUtilBinder(),
            &SwScaleBinder(), &SwResampleBinder(), &MyUtilBinder()};
}

class LibraryBindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        UnbindLibraries();
        // A fresh folder per test: a library stays mapped after release, and
        // the loader would hand back the object it already has for a path.
        folder_ = ScratchFolder();
        startDirectory_ = fs::current_path();
    }
    void TearDown() override { UnbindLibraries(); }

    // A folder holding links to the system's copies of the codec libraries,
    // with `replacement` standing in for the file of the same name.
    void FillFolder(const std::string& replacedFile = {}, const std::string& replacement = {}) {
        for (const std::string& file : CodecLibraryFiles()) {
            const std::string target = file == replacedFile ? replacement : SystemLibraryPath(file);
            ASSERT_FALSE(target.empty()) << file;
            fs::create_symlink(target, folder_ / file);
        }
    }

    fs::path folder_;
    fs::path startDirectory_;
};

TEST_F(LibraryBindingTest, SystemLibrariesBindAndAnswerCalls) {
    ASSERT_TRUE(BindLibraries("", true)) << BindErrorText();
    EXPECT_TRUE(LibrariesBound());
    EXPECT_EQ(BindErrorText(), "");
    for (LibraryBinder* binder : AllBinders()) EXPECT_TRUE(binder->Bound()) << binder->FileName();
    EXPECT_EQ(static_cast<int>(ff::avcodec_version() >> 16), LIBAVCODEC_VERSION_MAJOR);
    char text[8];
    ff::my_snprintf(text, sizeof text, "%d", 42);
    EXPECT_STREQ(text, "42");
}

TEST_F(LibraryBindingTest, PlainNamesBindTheDevelopmentLinks) {
    ASSERT_TRUE(BindLibraries("", false)) << BindErrorText();
    EXPECT_EQ(AVCodecBinder().FileName(), "libavcodec.so");
}

TEST_F(LibraryBindingTest, SecondBindTouchesNothing) {
    ASSERT_TRUE(BindLibraries("", true));
    // A folder that does not exist would fail any load: nothing is loaded again.
    EXPECT_TRUE(BindLibraries((folder_ / "missing").string(), true));
    EXPECT_EQ(BindErrorText(), "");
    EXPECT_TRUE(LibrariesBound());
}

TEST_F(LibraryBindingTest, FolderWithoutLibrariesFailsOnTheFirstLibrary) {
    EXPECT_FALSE(BindLibraries(folder_.string(), true));
    EXPECT_FALSE(LibrariesBound());
    const std::string expectedStart = "Load libraray " + kAVCodec + " error: ";
    EXPECT_EQ(BindErrorText().substr(0, expectedStart.size()), expectedStart) << BindErrorText();
    EXPECT_NE(BindErrorText().find((folder_ / kAVCodec).string()), std::string::npos) << BindErrorText();
    for (LibraryBinder* binder : AllBinders()) EXPECT_FALSE(binder->Loaded()) << binder->FileName();
    EXPECT_EQ(fs::current_path(), startDirectory_);
}

TEST_F(LibraryBindingTest, FolderOfLibrariesBinds) {
    FillFolder();
    ASSERT_TRUE(BindLibraries(folder_.string(), true)) << BindErrorText();
    EXPECT_NE(ff::avformat_version(), 0u);
    EXPECT_EQ(fs::current_path(), startDirectory_);
}

TEST_F(LibraryBindingTest, MissingEntryPointNamesFunctionAndFileAndReleasesEarlierLibraries) {
    FillFolder(kAVFormat, TOVRELA_STAND_IN_AVFORMAT);
    EXPECT_FALSE(BindLibraries(folder_.string(), true));
    EXPECT_FALSE(LibrariesBound());
    const std::string expectedStart = "Load function " TOVRELA_MISSING_ENTRY_POINT "@" + kAVFormat + " error: ";
    EXPECT_EQ(BindErrorText().substr(0, expectedStart.size()), expectedStart) << BindErrorText();
    EXPECT_NE(BindErrorText().find("undefined symbol: " TOVRELA_MISSING_ENTRY_POINT), std::string::npos)
        << BindErrorText();
    // The libraries that bound before it are released again.
    for (LibraryBinder* binder : AllBinders()) {
        EXPECT_FALSE(binder->Loaded()) << binder->FileName();
        EXPECT_FALSE(binder->Bound()) << binder->FileName();
    }
    EXPECT_EQ(fs::current_path(), startDirectory_);

    // Nothing of the failed attempt sticks: the system's libraries still bind.
    ASSERT_TRUE(BindLibraries("", true)) << BindErrorText();
    EXPECT_EQ(BindErrorText(), "");
}

TEST_F(LibraryBindingTest, UnbindReleasesEveryLibrary) {
    ASSERT_TRUE(BindLibraries("", true));
    UnbindLibraries();
    EXPECT_FALSE(LibrariesBound());
    for (LibraryBinder* binder : AllBinders()) EXPECT_FALSE(binder->Loaded()) << binder->FileName();
}

}  // namespace

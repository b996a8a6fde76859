// Installing, running and releasing frame hooks, straight on a chain.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FrameHook.h"
#include "HookTestSupport.h"
#include "TestFiles.h"

namespace {

using ::testing::ElementsAre;

int Add(FrameHookChain& chain, std::vector<std::string> words) {
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    arguments.push_back(nullptr);
    return AddFrameHook(chain, static_cast<int>(words.size()), arguments.data());
}

void RunOnce(FrameHookChain& chain, int64_t pts) {
    uint8_t pixel = 0;
    TovrelaHookPicture picture = {{&pixel, nullptr, nullptr, nullptr}, {1, 0, 0, 0}};
    ProcessFrameHooks(chain, &picture, 0, 176, 144, pts);
}

// Another name of the same file: "folder/./file".
std::string DottedName(const std::string& path) {
    const std::filesystem::path file(path);
    return (file.parent_path() / "." / file.filename()).string();
}

TEST(FrameHookChainTest, ModuleWithOnlyProcessIsInstalledWithoutConfigure) {
    ClearJournal(ProcessOnlyModule());
    FrameHookChain chain;
    ASSERT_EQ(Add(chain, {ProcessOnlyModule()}), kHookInstalled);
    RunOnce(chain, 40000);
    // A null context: nothing configured it.
    EXPECT_THAT(Journal(ProcessOnlyModule()), ElementsAre("process 40000 176x144 format 0"));
}

TEST(FrameHookChainTest, ModuleWithoutConfigureCannotTakeArguments) {
    LibraryLogCapture log;
    FrameHookChain chain;
    EXPECT_EQ(Add(chain, {ProcessOnlyModule(), "-x", "1"}), kHookMissingEntry);
    EXPECT_TRUE(chain.Empty());
    EXPECT_THAT(log.Lines(), ElementsAre("Failed to find Configure entrypoint in " + ProcessOnlyModule() + "\n"));
}

TEST(FrameHookChainTest, SameModuleNamedTwiceIsLoadedOnceWithTwoConfiguredEntries) {
    ClearJournal(RecorderModule());
    FrameHookChain chain;
    ASSERT_EQ(Add(chain, {RecorderModule(), "first"}), kHookInstalled);
    const std::string otherName = DottedName(RecorderModule());
    ASSERT_EQ(Add(chain, {otherName, "second", "2"}), kHookInstalled);
    EXPECT_EQ(HookModuleCache::Find(RecorderModule()), HookModuleCache::Find(otherName));
    ASSERT_EQ(chain.entries.size(), 2u);
    EXPECT_NE(chain.entries[0].context, chain.entries[1].context);

    RunOnce(chain, 0);
    RunOnce(chain, 41667);
    ReleaseFrameHooks(chain);
    EXPECT_TRUE(chain.Empty());
    ReleaseFrameHooks(chain);  // nothing left to release twice
    EXPECT_THAT(Journal(RecorderModule()),
                ElementsAre("configure first", "configure second 2", "process#first 0", "process#second 0",
                            "process#first 41667", "process#second 41667", "release#first", "release#second"));
}

// On Linux Tag.so and tag.so are two files, each with its own code. A bare
// name is looked for in the current folder, then in the installed one.
TEST(FrameHookChainTest, ModulesAreKnownByTheirExactFile) {
    namespace fs = std::filesystem;
    const fs::path folder = ScratchFolder();
    fs::copy_file(RecorderModule(), folder / "Tag.so");
    fs::copy_file(ProcessOnlyModule(), folder / "tag.so");
    FrameHookChain chain;
    ASSERT_EQ(Add(chain, {(folder / "Tag.so").string(), "upper"}), kHookInstalled);
    ASSERT_EQ(Add(chain, {(folder / "tag.so").string()}), kHookInstalled);
    RunOnce(chain, 7);
    EXPECT_THAT(JournalLines((folder / "Tag.so").string(), "process"), ElementsAre("process#upper 7"));
    EXPECT_THAT(Journal((folder / "tag.so").string()), ElementsAre("process 7 176x144 format 0"));

    const std::string installed = fs::path(DrawBoxModule()).parent_path().string();
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    const std::string inCurrent = ResolveHookModulePath("tag.so", installed);
    const std::string inInstalled = ResolveHookModulePath("drawbox.so", installed);
    fs::current_path(previous);
    EXPECT_EQ(inCurrent, fs::canonical(folder / "tag.so").string());
    EXPECT_EQ(inInstalled, fs::canonical(DrawBoxModule()).string());
}

TEST(FrameHookChainTest, ChainGoingAwayReleasesWhatIsStillInstalled) {
    ClearJournal(RecorderModule());
    {
        FrameHookChain chain;
        ASSERT_EQ(Add(chain, {RecorderModule(), "kept"}), kHookInstalled);
    }
    EXPECT_THAT(JournalLines(RecorderModule(), "release"), ElementsAre("release#kept"));
}

TEST(FrameHookChainTest, FailuresLeaveTheChainAsItWasWithTheirResultAndMessage) {
    FrameHookChain chain;
    ASSERT_EQ(Add(chain, {RecorderModule(), "installed"}), kHookInstalled);
    ClearJournal(NoProcessModule());
    {
        LibraryLogCapture log;
        EXPECT_EQ(Add(chain, {NoProcessModule()}), kHookMissingEntry);
        EXPECT_THAT(log.Lines(), ElementsAre("Failed to find Process entrypoint in " + NoProcessModule() + "\n"));
        EXPECT_TRUE(Journal(NoProcessModule()).empty()) << "Configure of a module without Process was called";
    }
    {
        LibraryLogCapture log;
        EXPECT_EQ(Add(chain, {RecorderModule(), "refuse"}), kHookRefused);
        EXPECT_THAT(log.Lines(), ElementsAre("Failed to Configure " + RecorderModule() + "\n"));
    }
    {
        LibraryLogCapture log;
        const std::string missing = "/nonexistent/hooks/watermark.so";
        EXPECT_EQ(Add(chain, {missing}), kHookNotLoaded);
        ASSERT_EQ(log.Lines().size(), 1u);
        EXPECT_NE(log.Lines()[0].find(missing), std::string::npos) << log.Lines()[0];
        EXPECT_EQ(HookModuleCache::Find(missing), nullptr);
    }
    {
        LibraryLogCapture log;
        EXPECT_EQ(Add(chain, {TOVRELA_NOT_A_MODULE}), kHookNotLoaded);
        EXPECT_EQ(log.Lines().size(), 1u);
    }
    EXPECT_EQ(Add(chain, {}), kHookMissingEntry);
    std::vector<std::string> tooMany(kMaxHookArguments + 1, "a");
    tooMany[0] = RecorderModule();
    EXPECT_EQ(Add(chain, tooMany), kHookTooManyWords);
    EXPECT_EQ(chain.entries.size(), 1u);
    // A module that failed stays loaded.
    EXPECT_NE(HookModuleCache::Find(NoProcessModule()), nullptr);
}

}  // namespace

#include <filesystem>

#include "EngineTest.h"
#include "OptionStateDescription.h"

namespace {

using TypedSettersTest = EngineTest;

TEST_F(TypedSettersTest, ValuesMeaningUnsetLeaveTheDefaults) {
    const auto before = DescribeOptionState(engine);
    engine.SetAudioVolume(-1);
    engine.SetMuxMaxDelay(0);
    engine.SetMuxPreload(-0.5f);
    engine.SetTitle("");
    engine.SetAlbum("");
    engine.SetTrack(0);
    engine.SetYear(-1);
    engine.SetStartTime(0);
    engine.SetProgramId(-1);
    engine.SetRecordingTimeMs(0);
    engine.SetRecordingTimeMs(-1);
    EXPECT_EQ(DescribeOptionState(engine), before);
}

TEST_F(TypedSettersTest, MeaningfulValuesAreStored) {
    engine.SetAudioVolume(0);
    engine.SetAudioSyncMethod(-3);
    engine.SetVideoSyncMethod(0);
    engine.SetMuxMaxDelay(1.5f);
    engine.SetMuxPreload(0.25f);
    engine.SetTitle("Title");
    engine.SetAuthor("Author");
    engine.SetCopyright("(c)");
    engine.SetComment("Comment");
    engine.SetGenre("Genre");
    engine.SetAlbum("Album");
    engine.SetTrack(3);
    engine.SetYear(2009);
    engine.SetStartTime(1);
    engine.SetProgramId(0);
    EXPECT_EQ(engine.audio_volume, 0);
    EXPECT_EQ(engine.audio_sync_method, -3);
    EXPECT_EQ(engine.video_sync_method, 0);
    EXPECT_FLOAT_EQ(engine.mux_max_delay, 1.5f);
    EXPECT_FLOAT_EQ(engine.mux_preload, 0.25f);
    EXPECT_EQ(engine.title + engine.author + engine.copyright + engine.comment + engine.genre + engine.album,
              "TitleAuthor(c)CommentGenreAlbum");
    EXPECT_EQ(engine.track, 3);
    EXPECT_EQ(engine.year, 2009);
    EXPECT_EQ(engine.start_time, 1);
    EXPECT_EQ(engine.program_id, 0);
}

TEST_F(TypedSettersTest, RecordingTimeIsComputedInSixtyFourBits) {
    engine.SetRecordingTimeMs(3000000);  // 50 minutes: 3e9 microseconds
    EXPECT_EQ(engine.recording_time, 3000000000LL);
    EXPECT_EQ(engine.total_duration_ms, 3000000);
}

TEST_F(TypedSettersTest, InitializeStartsFromTheDefaults) {
    engine.SetRecordingTimeMs(1000);
    engine.SetOption("g", "25");
    engine.Initialize();
    EXPECT_EQ(engine.total_duration_ms, -1);
    EXPECT_TRUE(engine.option_names.empty());
    EXPECT_NE(engine.codec_option_contexts[0]->gop_size, 25);
}

class CleanUpTest : public EngineTest {
protected:
    // Creates an output the way a run does: written under its temporary
    // name, with `content` already under the final name.
    void AddOutput(const std::filesystem::path& path, const std::string& content) {
        WriteFile(path, content);
        AVFormatContext* output = nullptr;
        ASSERT_GE(ff::avformat_alloc_output_context2(&output, nullptr, "mp4", path.c_str()), 0);
        auto partial = std::make_unique<TPartialOutput>();
        ASSERT_EQ(partial->Create(path.string()), 0);
        temporaries.push_back(partial->Path());
        ASSERT_GE(ff::avio_open(&output->pb, partial->Path().c_str(), AVIO_FLAG_WRITE), 0);
        engine.output_partials[engine.output_count] = std::move(partial);
        engine.output_contexts[engine.output_count++].reset(output);
    }
    std::vector<std::string> temporaries;
    const std::filesystem::path folder = ScratchFolder();
};

TEST_F(CleanUpTest, UnfinishedTemporariesGoAndFilesUnderFinalNamesStay) {
    AddOutput(folder / "empty.mp4", "");
    AddOutput(folder / "written.mp4", "data");
    engine.CleanUp();
    EXPECT_EQ(engine.output_count, 0);
    EXPECT_EQ(engine.output_contexts[0], nullptr);
    EXPECT_TRUE(std::filesystem::exists(folder / "empty.mp4"));
    ASSERT_TRUE(std::filesystem::exists(folder / "written.mp4"));
    EXPECT_EQ(std::filesystem::file_size(folder / "written.mp4"), 4u);
    for (const std::string& temporary : temporaries) EXPECT_FALSE(std::filesystem::exists(temporary)) << temporary;
}

}  // namespace

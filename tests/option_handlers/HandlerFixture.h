#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FFmpeg.h"
#include "LibraryBinding.h"
#include "OptionStateDescription.h"

// An engine prepared for a task on the system libraries, with its log lines
// collected.
class HandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(BindLibraries("", true)) << BindErrorText();
        engine.SetLogHandler(&Collect, &logged);
        engine.Initialize();
    }

    static void Collect(void* user_data, TCustomFFmpeg*, int, const std::string& text) {
        static_cast<std::vector<std::string>*>(user_data)->push_back(text);
    }

    std::vector<std::string> logged;
    TCustomFFmpeg engine;
};

// Runs the statement, expecting it to raise FFMpegException with exactly
// this message.
#define EXPECT_ENGINE_ERROR(statement, message)                          \
    do {                                                                 \
        try {                                                            \
            statement;                                                   \
            ADD_FAILURE() << #statement " raised nothing";               \
        } catch (const FFMpegException& error) {                         \
            EXPECT_EQ(std::string(error.what()), std::string(message));  \
        }                                                                \
    } while (false)

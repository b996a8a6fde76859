#pragma once

#include <gtest/gtest.h>

#include <string>

#include "FFMpegException.h"

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

#pragma once
// The words of "tovrela-cli convert", read into the settings the window
// would use.

#include <string>
#include <vector>

#include "ComponentEvents.h"
#include "JobBuilder.h"

// Files converted at a time unless told otherwise: one per core. Each
// conversion decodes on several threads, but the rest of its work is one
// picture after another; a second file at once keeps every core busy.
int DefaultJobCount();

struct ConvertArguments {
    TConversionSettings settings;
    int jobs = DefaultJobCount();  // tasks at a time; 0 runs them without threads
    TLogLevel logLevel = llError;
    std::string libraryFolder;
    bool versionedNames = true;
    bool help = false;
    bool deviceGiven = false;  // --device was given; else the iPod's model chooses
    std::string toIpod;  // the mounted iPod each completed file goes to; empty: none
    bool keep = true;    // false: a file on the iPod is not kept in the output folder
    std::vector<std::string> files;  // folders stand for the files in them
};

// False with `error` set when the words do not parse.
bool ParseConvertArguments(const std::vector<std::string>& words, ConvertArguments& parsed, std::string& error);

#pragma once
// The names an output takes when its own is taken: "clip(1).mp4",
// "clip(2).mp4" ..., and "clip (stopped).mp4" for the part a stopped run
// wrote beside an earlier complete file. The extension is the one asked for;
// the stem is shortened when the longer name would not fit the file system.

#include <string>

// The path with the n-th number in its file name; the path itself for 0.
std::string NumberedOutputPath(const std::string& path, int number);
// "dir/clip (stopped).mp4" for 0, "dir/clip (stopped)(1).mp4" for 1 ...
std::string StoppedOutputPath(const std::string& path, int number);

#pragma once
// Decodes a media file completely and reports what each stream really holds,
// including where the test clips' marks (white frames, beep onsets) landed, so
// that tests can check converted files for lost frames and for audio/video sync.
// Times are microseconds on the file's own timeline (the container's start
// time is not subtracted).

#include <cstdint>
#include <string>
#include <vector>

struct StreamAnalysis {
    int mediaType = -1;  // as the libraries number them: 0 video, 1 audio, 2 data, 3 subtitle
    std::string codecName;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
    int64_t packetCount = 0;
    int64_t frameCount = 0;    // decoded frames (subtitles: decoded cues)
    int64_t decodeErrors = 0;  // refused packets, failed frames, frames flagged as damaged
    int64_t durationUs = -1;   // what the container says, -1 when it does not say
    int64_t firstTimeUs = -1;  // time of the first decoded frame
    int64_t endTimeUs = -1;    // end of the last decoded frame
    // The longest stretch between the end of one decoded frame and the start
    // of the next: a hole in the stream's timeline.
    int64_t largestGapUs = 0;
    double peak = 0;  // audio: the largest magnitude of any sample, 1 being full scale
    // Video: the first frame of each run of white frames. Audio: each onset of
    // the 1 kHz beep. Subtitles: the start of each cue.
    std::vector<int64_t> markTimesUs;
    // Video only: the number drawn into each decoded frame in display order,
    // -1 where none can be read (the white frames among them).
    std::vector<int> frameNumbers;
};

struct MediaAnalysis {
    std::string error;  // empty when the file could be opened and read
    std::string formatName;
    int64_t startTimeUs = -1;
    int64_t durationUs = -1;
    std::vector<StreamAnalysis> streams;

    // The first stream of that media type, nullptr when there is none.
    const StreamAnalysis* First(int mediaType) const;
};

// Requires bound libraries.
MediaAnalysis AnalyseMedia(const std::string& path);

// For each mark found in both streams (paired in order): the beep onset minus
// the white frame's time. Positive when the sound comes late.
std::vector<int64_t> AudioVideoOffsetsUs(const StreamAnalysis& video, const StreamAnalysis& audio);

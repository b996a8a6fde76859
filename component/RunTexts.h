#pragma once
// Every status text and message a person sees while files are added and
// converted, whichever front end shows them.

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "ProgramVersion.h"

// Error: a fault of the program or its surroundings rather than of a file.
enum class TMessageIcon { Information, Warning, Error };

struct TUserMessage {
    std::string text;
    std::string caption;
    TMessageIcon icon = TMessageIcon::Information;
};

// Why a file is refused when it is added.
enum class TRefusalReason {
    NotLocal,          // a network address
    CannotOpen,        // the system refused to open it (with its error number)
    NotRegular,        // a folder, FIFO, device or socket
    Empty,             // 0 bytes
    NotMedia,          // no format this program reads
    NoPictureNoSound,  // neither video nor audio to convert
};

namespace RunTexts {

// An error that reached a front end, as a person is shown it: a failed
// conversion is a warning, anything else an error.
TUserMessage ErrorMessage(const std::exception& error);

constexpr const char* kApplicationTitle = "Free Tovrela";
constexpr const char* kApplicationVersion = kProgramVersion;

// Statuses of a row.
constexpr const char* kStatusCleared = " ";
// The first entry of the window's iPod list: no iPod is there, or none is chosen.
constexpr const char* kNoIpodConnected = "No iPod connected";
constexpr const char* kNoIpodChosen = "No iPod";
// What the window's empty list says.
constexpr const char* kDropHint = "Drop videos or folders here";
constexpr const char* kStatusCompleted = "Completed";
constexpr const char* kStatusOnIpod = "Completed, on iPod";
constexpr const char* kStatusAlreadyOnIpod = "Completed, already on the iPod";
constexpr const char* kStatusPuttingOnIpod = "Completed, putting on iPod";
// A completed file that is not on the iPod: its status, then why.
std::string NotOnIpodStatus(const std::string& completedStatus, const std::string& cause);
constexpr const char* kStatusStopped = "Stopped";
// "42% Completed", or the output time written so far when the total is unknown.
std::string ProgressStatus(int32_t currentMs, int32_t totalMs);
// "Current Frame=120 Time=4 FPS=30"; without the frame for a file without
// video, and without the speed while it is not known.
std::string ProgressLine(int32_t frameNumber, int32_t currentMs, int32_t fps);
// The live line of one file on a terminal: a bar (when the total is known),
// the percentage, frame, frames per second, output time and the time left
// (negative when not yet known).
std::string ProgressBarLine(const std::string& name, int32_t frameNumber, int32_t fps, int32_t currentMs,
                            int32_t totalMs, int64_t secondsLeft);
// The text on one line: line breaks and other control characters (a file
// name may hold them) are written as escapes such as "\n".
std::string OneLine(const std::string& text);
// One file's outcome in a list of results, always one line.
std::string ResultLine(const std::string& input, const std::string& output, const std::string& status);
// hours:minutes:seconds, each at least two digits; fractions dropped.
std::string DurationText(int64_t seconds);
// "0:02", "12:34", "1:02:03": minutes and seconds, hours only when there are any.
std::string ShortDurationText(int64_t seconds);
// Why a completed file is shorter than its input announced: the input ends
// early, usually because it is still being written.
std::string InputEndedEarly(int64_t endedMs, int64_t announcedMs);

// The sentence that says why, after the refusal itself: "It is empty (0 bytes)."
std::string RefusalReasonText(TRefusalReason reason, int errorNumber = 0);
// Refusals of a file when it is added.
TUserMessage NotSupported(const std::string& inputPath, TRefusalReason reason, int errorNumber = 0);
TUserMessage CannotConvert(const std::string& lastErrorMessage);
// What a person is told of a task that failed: a file that could not be
// written is named with the system's reason ("Could not write
// /out/clip.mp4: File too large"); the engine's own message, which may name
// the library call that failed, is for the log.
std::string RunFailure(const std::string& message, const std::string& unwrittenOutput, const std::string& reason);
// A task that ended with an error; the message names the file, since it
// may appear long after that file's row scrolled out of sight.
TUserMessage TaskFailed(const std::string& inputPath, const std::string& message);
TUserMessage NothingToConvert();
// The end of a run: every file converted, or how many were.
TUserMessage RunFinished(int completed, int total);
// "12 of 12 files converted": the desktop's notice of a long run's end.
std::string FilesConverted(int completed, int total);
// A file that could not be converted, and why.
struct TFailedFile {
    std::string inputPath;
    std::string reason;
};
// The message that ends a run (empty for a run stopped by hand) followed by
// the files that failed, one line each; a warning when any did.
TUserMessage WithFailedFiles(TUserMessage ending, const std::vector<TFailedFile>& failed);
// The run's log (written beside the outputs when a file failed) could not
// be written, with the system's reason.
TUserMessage LogNotWritten(const std::string& path, const std::string& reason);
// A completed file that could not be put on the iPod; the reason names the
// iPod and the cause.
TUserMessage NotPutOnIpod(const std::string& inputPath, const std::string& reason);
// The message followed by the files that are not on the iPod, one line each;
// a warning when there are any.
TUserMessage WithFilesNotOnIpod(TUserMessage message, const std::vector<TFailedFile>& notOnIpod);

// What was decided for an input before it converts, one line each.
// "no English sound: the file's own choice is kept"
std::string NoSoundInLanguage(const std::string& languageName);
// "audio: Japanese (the file's default)", "audio: English"; a track without
// language is "audio: the file's default track".
std::string SoundChoice(const std::string& languageName, bool byLanguage);
// "subtitles: English, as text track", "subtitles: English (forced),
// burnt in", "subtitles: English, burnt in (pictures cannot become text)".
std::string SubtitleChoice(const std::string& languageName, bool forced, bool burnt, bool pictures);
// "subtitles: none; no French track"
std::string NoSubtitlesInLanguage(const std::string& languageName);
// "subtitles: none; the French track (xsub) cannot be read"
std::string SubtitlesUnreadable(const std::string& languageName, const std::string& codec);
// "HDR10 mapped to SDR"
std::string ToneMapped(const std::string& kind);
// "colours: BT.709 converted to BT.601", with "full range converted to
// limited range" as well or instead.
std::string ColoursConverted(const std::string& sourceMatrix, bool fullRange);
// "chapters: 12 kept"
std::string ChaptersKept(int count);
// "cropped 0:0:140:140 (black bands)"; bands a person gave are "as asked".
std::string Cropped(int top, int bottom, int left, int right, bool asked);
constexpr const char* kCropUnreadable = "crop is not T:B:L:R: black bands are looked for instead";
// "deinterlaced (interlaced pictures found)" or "deinterlaced (as asked)"
std::string Deinterlaced(bool found);

}  // namespace RunTexts

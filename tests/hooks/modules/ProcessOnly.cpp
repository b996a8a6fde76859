// A module with nothing but Process: it sees a null context.
#include "TestJournal.h"
#include "TovrelaFrameHook.h"

TEST_EXPORT void Process(void* context, TovrelaHookPicture* picture, int pix_fmt, int width, int height,
                         int64_t pts) {
    Note(std::string(context ? "context " : "") + "process " + std::to_string(pts) + " " + std::to_string(width) +
         "x" + std::to_string(height) + " format " + std::to_string(pix_fmt) +
         (picture->data[0] ? "" : " without planes"));
}

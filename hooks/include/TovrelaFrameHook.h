/*
 * Frame-hook modules for Tovrela.
 *
 * A frame hook is a shared object that sees every chosen decoded picture of
 * a conversion before it is encoded, and may change it in place. It is named
 * by the engine option "vhook" (for example
 *   tovrela-cli transcode -x "vhook=/path/libdrawbox.so -x 8 -y 8" ...):
 * the first word is the module's file, the others are the hook's own
 * arguments. Words are separated by "|" when the text holds one (so that a
 * path may contain blanks), otherwise by blanks; at most 64 words.
 *
 * A module exports, with C linkage:
 *   Process    required: called for every chosen picture, in the order the
 *              hooks were installed, on the task's worker thread.
 *   Configure  optional when the hook takes no arguments, required when it
 *              does: called once per installation with the address of the
 *              hook's context pointer (NULL on entry), the argument count and
 *              the argument vector (entry 0 is the module's name; the vector
 *              ends with a NULL entry). Answer 0 to accept, anything else to
 *              refuse. The texts live only for the call: copy what you keep.
 *   Release    optional: called once per installation when the task ends,
 *              with the context that Configure filled.
 *
 * A module named twice is loaded once, but each installation has its own
 * Configure call and context; installations of different tasks may run at
 * the same time, so keep all state in the context. Modules are never
 * unloaded.
 */
#ifndef TOVRELA_FRAME_HOOK_H
#define TOVRELA_FRAME_HOOK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Four plane pointers and the byte length of one row of each plane. */
typedef struct TovrelaHookPicture {
    uint8_t* data[4];
    int linesize[4];
} TovrelaHookPicture;

/*
 * pix_fmt is the libavutil pixel-format number (enum AVPixelFormat) of the
 * picture, usually AV_PIX_FMT_YUV420P; pts is the picture's time in
 * microseconds.
 */
typedef int (*TovrelaHookConfigure)(void** context, int argc, char* argv[]);
typedef void (*TovrelaHookProcess)(void* context, TovrelaHookPicture* picture, int pix_fmt, int width,
                                   int height, int64_t pts);
typedef void (*TovrelaHookRelease)(void* context);

#ifdef __cplusplus
}
#endif

#endif

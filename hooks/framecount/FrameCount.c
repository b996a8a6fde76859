/*
 * A frame hook that only counts the pictures it is given.
 *
 *   vhook=framecount.so [-o FILE]
 *
 * When the task ends the count is written to FILE (created or replaced), or
 * as a line "framecount: N pictures" to standard error without -o.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TovrelaFrameHook.h"

#define EXPORT __attribute__((visibility("default")))

typedef struct Counter {
    long pictures;
    char* output;
} Counter;

EXPORT int Configure(void** context, int argc, char* argv[]) {
    Counter* counter = calloc(1, sizeof(Counter));
    if (!counter) return -1;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc && !counter->output) {
            counter->output = strdup(argv[++i]);
        } else {
            fprintf(stderr, "framecount: unexpected argument '%s' (usage: framecount.so [-o FILE])\n", argv[i]);
            free(counter->output);
            free(counter);
            return -1;
        }
    }
    *context = counter;
    return 0;
}

EXPORT void Process(void* context, TovrelaHookPicture* picture, int pix_fmt, int width, int height, int64_t pts) {
    (void)picture, (void)pix_fmt, (void)width, (void)height, (void)pts;
    ((Counter*)context)->pictures++;
}

EXPORT void Release(void* context) {
    Counter* counter = context;
    FILE* file = counter->output ? fopen(counter->output, "w") : NULL;
    if (counter->output && !file) fprintf(stderr, "framecount: cannot write %s\n", counter->output);
    fprintf(file ? file : stderr, file ? "%ld\n" : "framecount: %ld pictures\n", counter->pictures);
    if (file) fclose(file);
    free(counter->output);
    free(counter);
}

/*
 * A frame hook that draws a rectangle into every picture.
 *
 *   vhook=drawbox.so [-x LEFT] [-y TOP] [-w WIDTH] [-h HEIGHT]
 *                    [-t THICKNESS] [-c COLOUR]
 *
 * Positions and sizes are in pixels (defaults 16, 16, 96, 64); THICKNESS is
 * the width of the outline, 0 fills the box (default 4); COLOUR is RRGGBB in
 * hexadecimal or one of white, black, red, green, blue, yellow (default
 * yellow). The box is clipped to the picture. Planar YUV, grey and packed
 * 24-bit RGB/BGR pictures are drawn on; other pixel formats pass unchanged.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <libavutil/pixfmt.h>

#include "TovrelaFrameHook.h"

#define EXPORT __attribute__((visibility("default")))

typedef struct Box {
    int left, top, width, height, thickness;
    int red, green, blue;
    int y, u, v;  /* the colour in limited-range BT.601 */
} Box;

static const struct {
    const char* name;
    unsigned rgb;
} kColourNames[] = {
    {"white", 0xFFFFFF}, {"black", 0x000000}, {"red", 0xFF0000},
    {"green", 0x00FF00}, {"blue", 0x0000FF},  {"yellow", 0xFFFF00},
};

static int ReadNumber(const char* text, int* value) {
    char* end;
    long number = strtol(text, &end, 10);
    if (end == text || *end || number < 0 || number > 65535) return 0;
    *value = (int)number;
    return 1;
}

static int ReadColour(const char* text, unsigned* rgb) {
    for (size_t i = 0; i < sizeof kColourNames / sizeof kColourNames[0]; ++i)
        if (strcasecmp(text, kColourNames[i].name) == 0) {
            *rgb = kColourNames[i].rgb;
            return 1;
        }
    char* end;
    unsigned long value = strtoul(text, &end, 16);
    if (end - text != 6 || *end) return 0;
    *rgb = (unsigned)value;
    return 1;
}

static int Refuse(Box* box, const char* text) {
    fprintf(stderr,
            "drawbox: cannot use '%s' (usage: drawbox.so [-x LEFT] [-y TOP] [-w WIDTH] [-h HEIGHT] "
            "[-t THICKNESS] [-c RRGGBB|white|black|red|green|blue|yellow])\n",
            text);
    free(box);
    return -1;
}

EXPORT int Configure(void** context, int argc, char* argv[]) {
    Box* box = malloc(sizeof(Box));
    if (!box) return -1;
    *box = (Box){.left = 16, .top = 16, .width = 96, .height = 64, .thickness = 4};
    unsigned rgb = 0xFFFF00;
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (i + 1 >= argc || option[0] != '-' || strlen(option) != 2) return Refuse(box, option);
        const char* value = argv[++i];
        int ok = 0;
        switch (option[1]) {
            case 'x': ok = ReadNumber(value, &box->left); break;
            case 'y': ok = ReadNumber(value, &box->top); break;
            case 'w': ok = ReadNumber(value, &box->width); break;
            case 'h': ok = ReadNumber(value, &box->height); break;
            case 't': ok = ReadNumber(value, &box->thickness); break;
            case 'c': ok = ReadColour(value, &rgb); break;
        }
        if (!ok) return Refuse(box, value);
    }
    box->red = (int)(rgb >> 16 & 0xFF);
    box->green = (int)(rgb >> 8 & 0xFF);
    box->blue = (int)(rgb & 0xFF);
    box->y = 16 + (66 * box->red + 129 * box->green + 25 * box->blue + 128) / 256;
    box->u = 128 + (-38 * box->red - 74 * box->green + 112 * box->blue + 128) / 256;
    box->v = 128 + (112 * box->red - 94 * box->green - 18 * box->blue + 128) / 256;
    *context = box;
    return 0;
}

/* Whether the pixel at (x, y) of the box's area belongs to the drawn part. */
static int OnBox(const Box* box, int x, int y) {
    if (x < box->left || y < box->top || x >= box->left + box->width || y >= box->top + box->height) return 0;
    if (box->thickness == 0) return 1;
    return x < box->left + box->thickness || y < box->top + box->thickness ||
           x >= box->left + box->width - box->thickness || y >= box->top + box->height - box->thickness;
}

/* Colours one plane whose pixels cover (1 << shift_x) by (1 << shift_y)
   picture pixels; a chroma sample is coloured when its top-left pixel is. */
static void PaintPlane(const Box* box, uint8_t* plane, int linesize, int width, int height, int shift_x,
                       int shift_y, int value) {
    const int plane_width = (width + (1 << shift_x) - 1) >> shift_x;
    const int plane_height = (height + (1 << shift_y) - 1) >> shift_y;
    for (int row = 0; row < plane_height; ++row)
        for (int column = 0; column < plane_width; ++column)
            if (OnBox(box, column << shift_x, row << shift_y)) plane[row * linesize + column] = (uint8_t)value;
}

static void PaintPacked(const Box* box, TovrelaHookPicture* picture, int width, int height, int first,
                        int third) {
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            if (OnBox(box, column, row)) {
                uint8_t* pixel = picture->data[0] + row * picture->linesize[0] + column * 3;
                pixel[0] = (uint8_t)first;
                pixel[1] = (uint8_t)box->green;
                pixel[2] = (uint8_t)third;
            }
}

EXPORT void Process(void* context, TovrelaHookPicture* picture, int pix_fmt, int width, int height, int64_t pts) {
    (void)pts;
    const Box* box = context;
    int shift_x, shift_y;
    switch (pix_fmt) {
        case AV_PIX_FMT_YUV420P: case AV_PIX_FMT_YUVJ420P: shift_x = 1, shift_y = 1; break;
        case AV_PIX_FMT_YUV422P: case AV_PIX_FMT_YUVJ422P: shift_x = 1, shift_y = 0; break;
        case AV_PIX_FMT_YUV444P: case AV_PIX_FMT_YUVJ444P: shift_x = 0, shift_y = 0; break;
        case AV_PIX_FMT_YUV411P: shift_x = 2, shift_y = 0; break;
        case AV_PIX_FMT_YUV410P: shift_x = 2, shift_y = 2; break;
        case AV_PIX_FMT_GRAY8:
            PaintPlane(box, picture->data[0], picture->linesize[0], width, height, 0, 0, box->y);
            return;
        case AV_PIX_FMT_BGR24: PaintPacked(box, picture, width, height, box->blue, box->red); return;
        case AV_PIX_FMT_RGB24: PaintPacked(box, picture, width, height, box->red, box->blue); return;
        default: return;
    }
    PaintPlane(box, picture->data[0], picture->linesize[0], width, height, 0, 0, box->y);
    PaintPlane(box, picture->data[1], picture->linesize[1], width, height, shift_x, shift_y, box->u);
    PaintPlane(box, picture->data[2], picture->linesize[2], width, height, shift_x, shift_y, box->v);
}

EXPORT void Release(void* context) { free(context); }

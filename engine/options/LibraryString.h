#pragma once

#include <string>

#include "FFMpegException.h"
#include "LibraryHandles.h"

// A library-owned copy of a text, for fields that the libraries read or free.
inline TLibraryString DuplicateLibraryString(const std::string& text) {
    TLibraryString copy(ff::av_strdup(text.c_str()));
    if (!copy) throw FFMpegException("Out of memory while copying \"" + text + "\"");
    return copy;
}

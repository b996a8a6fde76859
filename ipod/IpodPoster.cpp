// A video's poster as the iPod's database keeps it. libgpod hands it out as
// a GdkPixbuf (it is built with gdk-pixbuf, which it needs for artwork), so
// the pixels are copied out here and no GLib object leaves this file.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <memory>

#include "IpodLibrary.h"
#include "GpodHandles.h"

namespace {

struct TPixbufRelease {
    void operator()(GdkPixbuf* picture) const { g_object_unref(picture); }
};

}  // namespace

TIpodPoster TIpodLibrary::Poster(uint64_t id, int width, int height) const {
    TIpodPoster poster;
    if (!database_) return poster;
    for (GList* item = database_->tracks; item; item = item->next) {
        Itdb_Track* track = static_cast<Itdb_Track*>(item->data);
        if (track->dbid != id) continue;
        if (!itdb_track_has_thumbnails(track)) return poster;
        const std::unique_ptr<GdkPixbuf, TPixbufRelease> picture(
            static_cast<GdkPixbuf*>(itdb_track_get_thumbnail(track, width, height)));
        // A picture file the iPod lost reads as none.
        if (!picture || gdk_pixbuf_get_colorspace(picture.get()) != GDK_COLORSPACE_RGB ||
            gdk_pixbuf_get_bits_per_sample(picture.get()) != 8)
            return poster;
        const int channels = gdk_pixbuf_get_n_channels(picture.get());
        const int stride = gdk_pixbuf_get_rowstride(picture.get());
        const guchar* pixels = gdk_pixbuf_read_pixels(picture.get());
        poster.Width = gdk_pixbuf_get_width(picture.get());
        poster.Height = gdk_pixbuf_get_height(picture.get());
        if (channels < 3 || !pixels || poster.Width <= 0 || poster.Height <= 0) return TIpodPoster{};
        poster.Rgb.resize(static_cast<size_t>(poster.Width) * static_cast<size_t>(poster.Height) * 3);
        uint8_t* out = poster.Rgb.data();
        for (int y = 0; y < poster.Height; ++y) {
            const guchar* row = pixels + static_cast<ptrdiff_t>(y) * stride;
            for (int x = 0; x < poster.Width; ++x, out += 3) std::copy_n(row + x * channels, 3, out);
        }
        return poster;
    }
    return poster;
}

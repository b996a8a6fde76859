#pragma once
// Owning holders for libgpod's and GLib's objects, each released once through
// its own free function.

#include <memory>
#include <string>

#include <gpod/itdb.h>

struct GpodDatabaseDeleter {
    void operator()(Itdb_iTunesDB* database) const { itdb_free(database); }
};
struct GpodDeviceDeleter {
    void operator()(Itdb_Device* device) const { itdb_device_free(device); }
};
struct GpodTrackDeleter {
    void operator()(Itdb_Track* track) const { itdb_track_free(track); }
};
struct GTextDeleter {
    void operator()(gchar* text) const { g_free(text); }
};

using TGpodDatabasePtr = std::unique_ptr<Itdb_iTunesDB, GpodDatabaseDeleter>;
using TGpodDevicePtr = std::unique_ptr<Itdb_Device, GpodDeviceDeleter>;
using TGpodTrackPtr = std::unique_ptr<Itdb_Track, GpodTrackDeleter>;
using TGTextPtr = std::unique_ptr<gchar, GTextDeleter>;

// Collects a GError for one call and gives its message.
class TGErrorSlot {
public:
    ~TGErrorSlot() { Clear(); }
    GError** Out() {
        Clear();
        return &error_;
    }
    std::string Message() const { return error_ && error_->message ? error_->message : "unknown error"; }

private:
    void Clear() {
        if (error_) g_error_free(error_);
        error_ = nullptr;
    }
    GError* error_ = nullptr;
};

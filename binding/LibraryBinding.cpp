#include "LibraryBinding.h"

#include <array>
#include <atomic>

#include "AVCodecHlpr.h"
#include "AVFilterHlpr.h"
#include "AVFormatHlpr.h"
#include "AVUtilHlpr.h"
#include "LogLevels.h"
#include "MyUtilHlpr.h"
#include "SwResampleHlpr.h"
#include "SwScaleHlpr.h"

namespace {

bool g_librariesBound = false;
std::string g_bindErrorText;
std::atomic<int> g_cachedLogLevel{1};

// The order in which the libraries bind, report failures and are released.
std::array<LibraryBinder*, 7> BindingOrder() {
    return {&AVCodecBinder(), &AVFilterBinder(),    &AVFormatBinder(), &AVUtilBinder(),
            &SwScaleBinder(), &SwResampleBinder(), &MyUtilBinder()};
}

// A folder's copies must be loaded so that each finds the ones it depends on
// already in the process; the system search would otherwise supply those.
// Failures are left for the binding order to report.
void PreloadInDependencyOrder(const std::string& folder, bool versioned) {
    LibraryBinder* const order[] = {&AVUtilBinder(),  &SwResampleBinder(), &SwScaleBinder(),
                                    &AVCodecBinder(), &AVFormatBinder(),   &AVFilterBinder()};
    for (LibraryBinder* binder : order) {
        binder->UseVersionedName(versioned);
        binder->LoadFile(folder);
    }
}

}  // namespace

bool BindLibraries(const std::string& folder, bool versioned) {
    if (g_librariesBound) return true;
    g_bindErrorText.clear();
    if (!folder.empty()) PreloadInDependencyOrder(folder, versioned);
    for (LibraryBinder* binder : BindingOrder()) {
        if (!binder->Bind(folder, versioned, g_bindErrorText)) {
            UnbindLibraries();
            return false;
        }
    }
    g_librariesBound = true;
    SetCachedLogLevel(EngineLevelFromLibrary(ff::av_log_get_level()));
    return true;
}

void UnbindLibraries() {
    g_librariesBound = false;
    for (LibraryBinder* binder : BindingOrder()) binder->Release();
}

bool LibrariesBound() { return g_librariesBound; }

std::string BindErrorText() { return g_bindErrorText; }

std::recursive_mutex& CodecLock() {
    static std::recursive_mutex lock;
    return lock;
}

int CachedLogLevel() { return g_cachedLogLevel.load(); }

void SetCachedLogLevel(int engineLevel) { g_cachedLogLevel.store(engineLevel); }

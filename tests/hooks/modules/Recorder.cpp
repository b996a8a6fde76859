// A complete module: each installation's context is its first argument (its
// label); an argument "refuse" makes Configure refuse.
#include <cstring>

#include "TestJournal.h"
#include "TovrelaFrameHook.h"

TEST_EXPORT int Configure(void** context, int argc, char* argv[]) {
    std::string line = "configure";
    bool refuse = false;
    for (int i = 1; i < argc; ++i) {
        line += std::string(" ") + argv[i];
        refuse = refuse || std::strcmp(argv[i], "refuse") == 0;
    }
    Note(line);
    if (refuse) return -1;
    *context = new std::string(argc > 1 ? argv[1] : "-");
    return 0;
}

TEST_EXPORT void Process(void* context, TovrelaHookPicture*, int, int, int, int64_t pts) {
    Note("process#" + *static_cast<std::string*>(context) + " " + std::to_string(pts));
}

TEST_EXPORT void Release(void* context) {
    auto* label = static_cast<std::string*>(context);
    Note("release#" + *label);
    delete label;
}

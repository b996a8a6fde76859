// A module that forgot its Process.
#include "TestJournal.h"

TEST_EXPORT int Configure(void**, int, char**) {
    Note("configure");
    return 0;
}

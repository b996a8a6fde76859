#pragma once

// The engine logs on its own scale: -1 quiet, 0 error, 1 information,
// 2 debug, 3 everything. The libraries use their AV_LOG_* scale.
int EngineLevelFromLibrary(int libraryLevel);
int LibraryLevelFromEngine(int engineLevel);

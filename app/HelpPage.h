#pragma once
// Where the help page is: "help/index.html" beside the program (a build
// folder, or an unpacked copy), else in the installed data folder.

#include <QString>

// The first existing page of `programFolder`/help/index.html,
// `programFolder`/../share/tovrela/help/index.html and
// `dataFolder`/help/index.html; empty when none exists.
QString FindHelpPage(const QString& programFolder, const QString& dataFolder);

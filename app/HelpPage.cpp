#include "HelpPage.h"

#include <QDir>
#include <QFileInfo>

QString FindHelpPage(const QString& programFolder, const QString& dataFolder) {
    const QString candidates[] = {
        QDir(programFolder).filePath("help/index.html"),
        QDir(programFolder).filePath("../share/tovrela/help/index.html"),
        QDir(dataFolder).filePath("help/index.html"),
    };
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile()) return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
    return {};
}

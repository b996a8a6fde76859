#pragma once
// What the main window's files share: its row roles and sizes, and the
// conversion of texts and icons for Qt.

#include <QMessageBox>
#include <QSize>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "IpodFinder.h"
#include "RunTexts.h"

namespace FrmMain {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }

inline constexpr int kRowHeight = 24;
// The file a row's task wrote in the last run, on its output name's item.
inline constexpr int kWrittenOutputRole = Qt::UserRole + 2;
// The row's own number, on its input name's item.
inline constexpr int kRowIdRole = Qt::UserRole + 3;
// Whether the row's file has a picture, on its input name's item.
inline constexpr int kHasVideoRole = Qt::UserRole + 4;
// The pictures at the start of the rows, as they are taken; a short list
// shows them smaller, in rows as low as kSmallestListRow.
inline constexpr QSize kThumbnailSize(40, 30);
inline constexpr int kSmallestListRow = 22;
inline constexpr int kLargestListRow = kThumbnailSize.height() + 2;

// A row's input tooltip: the whole path (long names are cut in their
// column), then what was decided for the file, one line each.
inline QString InputToolTip(const std::string& path, const std::vector<std::string>& notes) {
    std::string text = path;
    for (const std::string& note : notes) text += "\n" + note;
    return Q(text);
}

// The iPod list's entry of each iPod: its label, with its model and mount
// where another iPod has the same label; one that cannot receive videos
// says so.
QStringList IpodChoiceLabels(const std::vector<TIpod>& ipods);

inline QMessageBox::Icon IconOf(TMessageIcon icon) {
    switch (icon) {
        case TMessageIcon::Warning: return QMessageBox::Warning;
        case TMessageIcon::Error: return QMessageBox::Critical;
        case TMessageIcon::Information: break;
    }
    return QMessageBox::Information;
}

}  // namespace FrmMain

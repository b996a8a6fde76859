#include "ProgressCellDelegate.h"

#include <QPainter>
#include <algorithm>

void TProgressCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const QVariant progress = index.data(kProgressRole);
    if (!progress.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // Drawn with the palette's colours rather than the style's progress bar,
    // which some styles do not draw inside a list.
    const QRect frame = option.rect.adjusted(1, 1, -2, -2);
    const int done = frame.width() * std::clamp(progress.toInt(), 0, 100) / 100;
    painter->save();
    painter->fillRect(option.rect, option.palette.base());
    painter->fillRect(QRect(frame.topLeft(), QSize(done, frame.height())), option.palette.highlight());
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->drawRect(frame);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(frame, Qt::AlignCenter, index.data(Qt::DisplayRole).toString());
    painter->restore();
}

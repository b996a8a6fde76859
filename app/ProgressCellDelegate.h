#pragma once
// Draws a cell that carries a percentage as a progress bar with the cell's
// text on it; every other cell is drawn as usual.

#include <QStyledItemDelegate>

class TProgressCellDelegate : public QStyledItemDelegate {
public:
    // The item role holding the percentage, 0 to 100; a cell without it is
    // drawn as text.
    static constexpr int kProgressRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

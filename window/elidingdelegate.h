#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

// Draws the entries of a list or a tree no wider than the view, shortened in the middle with
// an ellipsis when a name does not fit, and shows the whole name as the entry's tooltip then.
// install() also sets the view up for it: middle elision, no horizontal scrolling.
class ElidingDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit ElidingDelegate(QAbstractItemView& view);

    static void install(QAbstractItemView& view);

    // Whether the entry's text is shortened as drawn.
    bool isElided(const QModelIndex& index) const;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    QAbstractItemView& m_view;
};

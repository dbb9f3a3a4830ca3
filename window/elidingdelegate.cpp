#include "elidingdelegate.h"

#include "plaintooltip.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

ElidingDelegate::ElidingDelegate(QAbstractItemView& view) : QStyledItemDelegate(&view), m_view(view) {}

void ElidingDelegate::install(QAbstractItemView& view)
{
    view.setTextElideMode(Qt::ElideMiddle);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setItemDelegate(new ElidingDelegate(view));
}

QSize ElidingDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(std::min(size.width(), m_view.viewport()->width()));
    return size;
}

bool ElidingDelegate::isElided(const QModelIndex& index) const
{
    QStyleOptionViewItem option;
    option.initFrom(&m_view);
    option.rect = m_view.visualRect(index);
    option.features |= QStyleOptionViewItem::HasDisplay;
    initStyleOption(&option, index);
    const QWidget* widget = &m_view;
    const QStyle* style = widget->style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &option, widget);
    // The style keeps this margin on each side of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    // Entries scrolled partly out of view are not shortened: only the view's width counts.
    const int room = std::min(textRect.right(), m_view.viewport()->width()) - textRect.left() + 1 - 2 * margin;
    return option.fontMetrics.horizontalAdvance(option.text) > room;
}

bool ElidingDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index)
{
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip || !index.isValid() ||
        index.data(Qt::ToolTipRole).isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (isElided(index))
        PlainToolTip::show(event->globalPos(), index.data(Qt::DisplayRole).toString(), view);
    else
        QToolTip::hideText();
    return true;
}

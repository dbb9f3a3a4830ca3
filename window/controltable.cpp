#include "controltable.h"

#include <QCoreApplication>
#include <QLabel>
#include <QWidget>

QRect ControlTable::twips(int x, int y, int width, int height)
{
    return {x / twipsPerPixel, y / twipsPerPixel, width / twipsPerPixel, height / twipsPerPixel};
}

void ControlTable::enter(std::initializer_list<Row> rows)
{
    for (const Row& row : rows) {
        row.widget->setGeometry(row.place);
        row.widget->setObjectName(QString::fromLatin1(row.name));
        if (row.accessibleName != nullptr && qobject_cast<QLabel*>(row.widget) != nullptr)
            row.widget->setAccessibleDescription(QCoreApplication::translate("ControlTable", row.accessibleName));
        else if (row.accessibleName != nullptr)
            row.widget->setAccessibleName(QCoreApplication::translate("ControlTable", row.accessibleName));
        if (row.tabIndex != noTabStop) {
            [[maybe_unused]] const bool fresh = m_tabStops.emplace(row.tabIndex, row.widget).second;
            Q_ASSERT_X(fresh, "ControlTable::enter", row.name);
        }
    }
}

void ControlTable::chainTabOrder() const
{
    QWidget* previous = nullptr;
    for (const auto& [index, widget] : m_tabStops) {
        if (previous != nullptr)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

#include "accessiblecombobox.h"

#include <QAbstractItemView>
#include <QComboBox>

namespace {

QAccessibleInterface* comboBoxFactory(const QString& className, QObject* object)
{
    auto* box = qobject_cast<QComboBox*>(object);
    if (className != QLatin1String("QComboBox") || box == nullptr || box->isEditable())
        return nullptr;
    return new AccessibleComboBox(*box);
}

} // namespace

AccessibleComboBox::AccessibleComboBox(QComboBox& box) : QAccessibleWidget(&box, QAccessible::ComboBox) {}

void AccessibleComboBox::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(comboBoxFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

QComboBox& AccessibleComboBox::box() const
{
    return *static_cast<QComboBox*>(widget());
}

QString AccessibleComboBox::text(QAccessible::Text kind) const
{
    switch (kind) {
    case QAccessible::Name:
        // A list without a name of its own is still known by its entry.
        return box().accessibleName().isEmpty() ? box().currentText() : box().accessibleName();
    case QAccessible::Value:
        return box().currentText();
    default:
        return QAccessibleWidget::text(kind);
    }
}

QAccessible::State AccessibleComboBox::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = box().view()->isVisible();
    state.collapsed = !state.expanded;
    return state;
}

int AccessibleComboBox::childCount() const
{
    return 1;
}

QAccessibleInterface* AccessibleComboBox::child(int index) const
{
    return index == 0 ? QAccessible::queryAccessibleInterface(box().view()) : nullptr;
}

int AccessibleComboBox::indexOfChild(const QAccessibleInterface* child) const
{
    return child != nullptr && child->object() == box().view() ? 0 : -1;
}

QStringList AccessibleComboBox::actionNames() const
{
    return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
}

void AccessibleComboBox::doAction(const QString& actionName)
{
    if (actionName == showMenuAction() || actionName == pressAction()) {
        if (box().view()->isVisible())
            box().hidePopup();
        else
            box().showPopup();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

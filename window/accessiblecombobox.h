#pragma once

#include <QAccessibleWidget>

class QComboBox;

// What a screen reader learns of a drop-down list: its accessible name as its name, and the
// chosen entry as its value. Qt's own interface for combo boxes gives the chosen entry as the
// name on Linux (it counts on a label naming the list, which these lists do not have), so
// two lists of drives would both be heard as "/  [vda]".
class AccessibleComboBox : public QAccessibleWidget {
public:
    explicit AccessibleComboBox(QComboBox& box);

    // Puts this interface in place for every drop-down list that is not editable. Once per
    // process; later calls do nothing.
    static void install();

    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    // Opening and closing the list, beside the actions of every widget.
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    QComboBox& box() const;
};

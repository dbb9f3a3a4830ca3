#pragma once

#include <QPointer>
#include <QWidget>

// A ring in the highlight colour around the control that has the keyboard focus, painted over
// the edge of that control, the same under every widget style: some styles show the focus of a
// list only on its current entry (and an empty list not at all), or only after a key moved it.
// It lies on top of the window's children, takes no mouse input, and follows the focus among
// the descendants of its parent; it goes when the focus leaves them.
class FocusRing : public QWidget {
    Q_OBJECT

public:
    explicit FocusRing(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* focused);
    void place();

    // The control the ring is drawn around, or none.
    QPointer<QWidget> m_target;
};

#include "focusring.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>

namespace {

constexpr int thickness = 2; // pixels

} // namespace

FocusRing::FocusRing(QWidget& window) : QWidget(&window)
{
    setObjectName(QStringLiteral("FocusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
}

void FocusRing::follow(QWidget* focused)
{
    // A control made of parts (a combo box's edit field) shows the ring around the whole of it.
    while (focused != nullptr && focused->focusProxy() == nullptr && focused->parentWidget() != nullptr &&
           focused->parentWidget() != parentWidget() && !focused->parentWidget()->isWindow() &&
           focused->parentWidget()->focusProxy() == focused)
        focused = focused->parentWidget();
    if (m_target != nullptr)
        m_target->removeEventFilter(this);
    m_target = focused != nullptr && parentWidget()->isAncestorOf(focused) ? focused : nullptr;
    if (m_target != nullptr)
        m_target->installEventFilter(this);
    place();
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_target) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            place();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRing::place()
{
    if (m_target == nullptr || !m_target->isVisible()) {
        hide();
        return;
    }
    setGeometry(QRect(m_target->mapTo(parentWidget(), QPoint(0, 0)), m_target->size()));
    raise();
    show();
    update();
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QPen pen(palette().color(QPalette::Active, QPalette::Highlight), thickness);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal inset = thickness / 2.0;
    painter.drawRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset));
}

#include "windowfixture.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

WindowFixture::WindowFixture(const std::function<void(const QDir&)>& prepare)
    : m_former(QDir::currentPath())
{
    if (!m_dir.isValid())
        return;
    if (prepare)
        prepare(QDir(m_dir.path()));
    QDir::setCurrent(m_dir.path());
    m_form = std::make_unique<Form1>(feedback);
    feedback.window = m_form.get();
    auto* timer = find<QTimer>("Timer1");
    timerRanAtStart = timer != nullptr && timer->isActive();
    if (timer != nullptr)
        timer->stop();
    m_form->show();
    QApplication::setActiveWindow(m_form.get());
    m_ready = QTest::qWaitForWindowExposed(m_form.get()) && QTest::qWaitForWindowActive(m_form.get());
}

WindowFixture::~WindowFixture()
{
    m_form.reset();
    QDir::setCurrent(m_former);
}

#include "runpanel.h"

#include "elidedlabel.h"
#include "windowlook.h"

#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

// Inside the panel, top to bottom: during a run, and between runs.
const QRect barArea(0, 0, 297, 21);
const QRect lineArea(0, 23, 356, 17);
const QRect cancelArea(0, 44, 89, 25);
const QRect outcomeArea(0, 0, 356, 21);
const QRect openFolderArea(0, 24, 89, 25);

// The bar counts thousandths of the work.
constexpr int barRange = 1000;

} // namespace

// Below the join side's folder label and left of its file list.
const QRect RunPanel::area(24, 440, 356, 97);

RunPanel::RunPanel(QWidget* parent) : QWidget(parent)
{
    setGeometry(area);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setGeometry(barArea);
    m_bar->setRange(0, barRange);
    m_bar->setTextVisible(false);
    m_bar->setAccessibleName(tr("Progress"));

    m_line = new QLabel(this);
    m_line->setObjectName(QStringLiteral("ProgressText"));
    m_line->setGeometry(lineArea);
    m_line->setTextFormat(Qt::PlainText);
    // Its name is the line itself, read when the person looks; it changes too often to be
    // announced (the bar's value is).
    m_line->setAccessibleDescription(tr("Progress"));

    m_cancel = WindowLook::pushButton(tr("Cancel"), *this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    m_cancel->setGeometry(cancelArea);
    m_cancel->setAccessibleName(tr("Cancel"));
    m_cancel->setShortcut(QKeySequence(Qt::Key_Escape));

    m_outcome = new ElidedLabel(this);
    m_outcome->setObjectName(QStringLiteral("OutcomeLabel"));
    m_outcome->setGeometry(outcomeArea);
    m_outcome->setAccessibleDescription(tr("Outcome of the last run"));

    m_openFolder = WindowLook::pushButton(tr("Open folder"), *this);
    m_openFolder->setObjectName(QStringLiteral("OpenFolderButton"));
    m_openFolder->setGeometry(openFolderArea);
    connect(m_openFolder, &QPushButton::clicked, this, [this] { emit openFolderPressed(m_folder); });

    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancelling = true;
        m_line->setText(tr("Cancelling\u2026"));
        emit cancelPressed();
    });
    end({});
}

void RunPanel::begin()
{
    m_cancelling = false;
    m_bar->setValue(0);
    m_line->clear();
    // The next outcome is news even when it reads as the last one did.
    m_outcome->setText({});
    m_outcome->hide();
    m_openFolder->hide();
    for (QWidget* part : std::initializer_list<QWidget*>{m_bar, m_line, m_cancel})
        part->show();
    m_cancel->setFocus();
}

void RunPanel::progress(const QString& line, int thousandths)
{
    m_bar->setValue(thousandths);
    if (!m_cancelling)
        m_line->setText(line);
}

void RunPanel::end(const QString& outcome, const std::string& folder)
{
    for (QWidget* part : std::initializer_list<QWidget*>{m_bar, m_line, m_cancel})
        part->hide();
    m_outcome->setText(outcome);
    m_outcome->show();
    m_folder = folder;
    m_openFolder->setVisible(!folder.empty());
}

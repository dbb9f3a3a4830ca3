#include "planline.h"

#include "elidedlabel.h"
#include "piecenaming.h"
#include "plantext.h"
#include "splitter.h"

#include <sys/stat.h>

#include <QFile>

namespace {

// A dark red that reads well on the window's orange.
const QColor refusalColour(150, 0, 0);
constexpr int lineHeight = 17;

QString fromBytes(const std::string& text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
}

} // namespace

PlanLine::PlanLine(QWidget* parent) : QWidget(parent)
{
    m_file = new ElidedLabel(this);
    m_file->setObjectName(QStringLiteral("PlanFile"));
    m_file->setAccessibleName(QStringLiteral("Chosen file and its size"));
    m_pieces = new ElidedLabel(this);
    m_pieces->setObjectName(QStringLiteral("PlanPieces"));
    m_pieces->setAccessibleName(QStringLiteral("What the split will make"));
}

void PlanLine::resizeEvent(QResizeEvent*)
{
    m_file->setGeometry(0, 0, width(), lineHeight);
    m_pieces->setGeometry(0, lineHeight, width(), lineHeight);
}

void PlanLine::showPlan(const qfs::SplitRequest& request)
{
    const auto check = qfs::SplitPlanner::validate(request);
    if (check && check->focus == qfs::FocusTarget::FileList) {
        m_read.supersede();
        setLines({}, {}, false);
        return;
    }
    m_read.start<Survey>([request] { return survey(request); },
                         [this, request](Survey& found) { show(request, found); });
}

PlanLine::Survey PlanLine::survey(const qfs::SplitRequest& request)
{
    Survey found;
    if (qfs::SplitPlanner::validate(request)) {
        found.error.code = qfs::CheckFailed;
    } else {
        found.error = qfs::Splitter(qfs::FileLayer::system()).preview(request, found.plan);
        if (!found.error.failed() || found.plan.sourceLength > 0)
            found.length = found.plan.sourceLength;
    }
    // Refused before the source was looked at (an empty field, an existing folder): the size
    // comes from the file's entry. The split opens the name as given, links followed.
    struct stat info {};
    const std::string path = qfs::PieceNaming::joinPath(request.sourceDirectory, request.sourceFileName);
    if (!found.length && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        found.length = std::uint64_t(info.st_size);
    return found;
}

void PlanLine::show(const qfs::SplitRequest& request, const Survey& found)
{
    const std::string& name = request.sourceFileName;
    const QString file = fromBytes(found.length ? qfs::PlanText::file(name, *found.length) : name);
    if (found.error.is(qfs::CheckFailed)) {
        setLines(file,
                 request.mode == qfs::SplitMode::BySize ? QStringLiteral("\u2192 enter a piece size")
                                                        : QStringLiteral("\u2192 enter the number of pieces"),
                 false);
    } else if (found.error.failed()) {
        setLines(file, fromBytes(found.error.message()), true);
    } else {
        setLines(file, QString::fromStdString(qfs::PlanText::pieces(found.plan)), false);
    }
}

void PlanLine::setLines(const QString& file, const QString& pieces, bool refusal)
{
    m_refusal = refusal;
    m_file->setText(file);
    m_pieces->setText(pieces);
    // A refusal is a sentence: its start says the most.
    m_pieces->setElideMode(refusal ? Qt::ElideRight : Qt::ElideMiddle);
    QPalette palette = m_pieces->palette();
    palette.setColor(QPalette::WindowText, refusal ? refusalColour : this->palette().color(QPalette::WindowText));
    m_pieces->setPalette(palette);
}

QString PlanLine::text() const
{
    if (m_pieces->text().isEmpty())
        return m_file->text();
    return m_file->text() + QLatin1Char(' ') + m_pieces->text();
}

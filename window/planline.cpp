#include "planline.h"

#include "elidedlabel.h"
#include "windowlanguage.h"
#include "engine/pieces/piecenaming.h"
#include "engine/text/plantext.h"
#include "engine/splitter.h"

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
    m_file->setAccessibleDescription(tr("Chosen file and its size"));
    m_pieces = new ElidedLabel(this);
    m_pieces->setObjectName(QStringLiteral("PlanPieces"));
    m_pieces->setAccessibleDescription(tr("What the split will make"));
}

void PlanLine::resizeEvent(QResizeEvent*)
{
    m_file->setGeometry(0, 0, width(), lineHeight);
    m_pieces->setGeometry(0, lineHeight, width(), lineHeight);
}

void PlanLine::showPlan(const SplitForm::Fields& fields)
{
    const auto reading = SplitForm::read(fields);
    const auto* refusal = std::get_if<SplitForm::Refusal>(&reading);
    if (refusal != nullptr && refusal->focus == SplitForm::Focus::FileList) {
        m_read.supersede();
        setLines({}, {}, false);
        return;
    }
    m_read.start<Survey>([fields] { return survey(fields); },
                         [this, fields](Survey& found) { show(fields, found); });
}

PlanLine::Survey PlanLine::survey(const SplitForm::Fields& fields)
{
    Survey found;
    const auto reading = SplitForm::read(fields);
    if (const auto* request = std::get_if<qfs::SplitRequest>(&reading)) {
        found.requested = true;
        auto plan = qfs::Splitter(qfs::FileLayer::system()).preview(*request);
        if (plan.failed()) {
            found.error = plan.error();
        } else {
            found.plan = plan.value();
            found.length = found.plan.sourceLength;
        }
    }
    // Refused before the source's length was known (an empty field, an existing folder): the
    // size comes from the file's entry. The split opens the name as given, links followed.
    struct stat info {};
    const std::string path = qfs::PieceNaming::joinPath(fields.directory, fields.fileName);
    if (!found.length && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        found.length = std::uint64_t(info.st_size);
    return found;
}

void PlanLine::show(const SplitForm::Fields& fields, const Survey& found)
{
    const std::string& name = fields.fileName;
    const qfs::Wording& words = WindowLanguage::wording();
    const QString file = fromBytes(found.length ? qfs::PlanText::file(name, *found.length, words) : name);
    if (!found.requested) {
        setLines(file,
                 fields.bySize ? tr("\u2192 enter a piece size")
                               : tr("\u2192 enter the number of pieces"),
                 false);
    } else if (found.error.failed()) {
        setLines(file, fromBytes(found.error.message()), true);
    } else {
        // Beside the file, the line stays as short as it always was; elsewhere it names where.
        const std::string pieces = fields.destination.empty()
            ? qfs::PlanText::pieces(found.plan, words)
            : qfs::PlanText::piecesIn(found.plan, found.plan.folderPath, words);
        setLines(file, fromBytes(pieces), false);
        emit planShown(found.plan.pieceCount);
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

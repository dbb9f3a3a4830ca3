#include "destinationpicker.h"

#include "elidedlabel.h"
#include "pathopener.h"


#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include <cerrno>

namespace {

// The control's parts side by side, in pixels: the caption takes what its text needs, the
// button a square at the right end, and the folder the rest.
constexpr int spacing = 4;
constexpr int buttonWidth = 24;

QString fromBytes(const std::string& text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
}

// What a path given from outside is: its folder, absolute and normal, or why it is none.
struct Found {
    qfs::Error error;
    std::string folder;
};

Found findFolder(const std::string& path)
{
    // Links are followed, as the engine follows the destination's path.
    const PathOpener::Found found = PathOpener::find(path);
    if (found.error.failed())
        return {found.error, {}};
    if (!found.folder)
        return {qfs::Error::fromErrno(ENOTDIR, found.path + "/" + found.name), {}};
    return {{}, found.path};
}

} // namespace

DestinationPicker::DestinationPicker(const QString& caption, const QString& defaultEntry,
                                     const QString& defaultShown, const QString& name, QWidget* parent)
    : QWidget(parent), m_defaultShown(defaultShown)
{
    m_caption = new QLabel(caption, this);
    m_caption->setTextFormat(Qt::PlainText);
    m_shown = new ElidedLabel(this);
    m_shown->setObjectName(name + QStringLiteral("Folder"));
    // Heard as the folder it shows, with the caption saying what the folder is for.
    m_shown->setAccessibleDescription(caption);
    m_shown->setText(m_defaultShown);
    m_button = new QToolButton(this);
    m_button->setObjectName(name + QStringLiteral("Button"));
    m_button->setText(QStringLiteral("\u2026"));
    m_button->setAccessibleName(caption.chopped(caption.endsWith(QLatin1Char(':')) ? 1 : 0));
    m_button->setToolTip(tr("Choose the folder"));
    m_button->setPopupMode(QToolButton::InstantPopup);
    m_button->setFocusPolicy(Qt::StrongFocus);
    auto* menu = new QMenu(m_button);
    menu->setObjectName(name + QStringLiteral("Menu"));
    connect(menu->addAction(tr("Choose folder\u2026")), &QAction::triggered, this,
            &DestinationPicker::chooseByDialog);
    connect(menu->addAction(defaultEntry), &QAction::triggered, this, [this] { setFolder({}); });
    m_button->setMenu(menu);
    setFocusProxy(m_button);
    setAcceptDrops(true);
}

void DestinationPicker::resizeEvent(QResizeEvent*)
{
    const int captionWidth = m_caption->sizeHint().width();
    m_caption->setGeometry(0, 0, captionWidth, height());
    m_button->setGeometry(width() - buttonWidth, 0, buttonWidth, height());
    const int folderLeft = captionWidth + spacing;
    m_shown->setGeometry(folderLeft, 0, width() - buttonWidth - spacing - folderLeft, height());
}

void DestinationPicker::setFolder(const std::string& folder)
{
    m_read.supersede();
    m_folder = folder;
    m_shown->setText(folder.empty() ? m_defaultShown : fromBytes(folder));
    emit changed();
}

void DestinationPicker::chooseByDialog()
{
    const QString start = m_folder.empty() ? QString() : fromBytes(m_folder);
    const QString chosen = QFileDialog::getExistingDirectory(window(), m_caption->text(), start);
    if (!chosen.isEmpty())
        take(QFile::encodeName(chosen).toStdString(), false);
}

void DestinationPicker::takeDropped(const std::string& path)
{
    take(path, false);
}

void DestinationPicker::takeRemembered(const std::string& path)
{
    if (!path.empty())
        take(path, true);
}

void DestinationPicker::take(const std::string& path, bool quiet)
{
    m_read.start<Found>([path] { return findFolder(path); },
                        [this, quiet](Found& found) {
                            if (!found.error.failed())
                                setFolder(found.folder);
                            else if (!quiet)
                                emit failed(found.error);
                        });
}

bool DestinationPicker::event(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QWidget::event(event);
    auto* drag = static_cast<QDropEvent*>(event);
    const std::string path = PathOpener::draggedPath(*drag->mimeData());
    // While a run goes the control rests, and takes no drops either.
    if (path.empty() || !isEnabled()) {
        drag->ignore();
        return true;
    }
    drag->acceptProposedAction();
    if (type == QEvent::Drop)
        takeDropped(path);
    return true;
}

#include "filelist.h"

#include "elidingdelegate.h"
#include "engine/fs/folderlisting.h"

#include <QFile>

#include <algorithm>

namespace {

// The name's bytes, kept only for names that do not survive the way to text and back.
constexpr int nameRole = Qt::UserRole;
// The bits of a character of plain ASCII, which every encoding of file names shares.
constexpr char asciiMask = 0x7f;

std::string nameOf(const QListWidgetItem& item)
{
    const QVariant bytes = item.data(nameRole);
    return (bytes.isValid() ? bytes.toByteArray() : QFile::encodeName(item.text())).toStdString();
}

} // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent)
{
    // Every row has the same height, which keeps lists of many thousand pieces fast.
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    ElidingDelegate::install(*this);
}

void FileList::selectWhenShown(const std::string& folderPath, const std::string& name)
{
    m_selectFolder = folderPath;
    m_selectName = name;
}

void FileList::setPath(const std::string& folderPath)
{
    read(folderPath, true);
}

void FileList::refresh()
{
    if (!m_path.empty())
        read(m_path, false);
}

void FileList::read(const std::string& folderPath, bool reportFailure)
{
    m_read.start<FolderRead>(
        [folderPath] {
            FolderRead listing{{}, folderPath, {}};
            listing.error = qfs::FolderListing::regularFiles(folderPath, listing.names);
            return listing;
        },
        [this, reportFailure](FolderRead& listing) {
            if (listing.error.failed()) {
                if (reportFailure)
                    emit readFailed(listing.error);
                return;
            }
            if (!reportFailure && listing.path == m_path && shows(listing.names))
                return;
            // The same folder read again keeps its selection; a name asked for comes first.
            std::string chosen = listing.path == m_path ? selectedName() : std::string();
            if (listing.path == m_selectFolder) {
                chosen = m_selectName;
                m_selectFolder.clear();
            }
            m_path = listing.path;
            showNames(listing.names);
            select(chosen);
        });
}

bool FileList::shows(const std::vector<std::string>& names) const
{
    if (std::size_t(count()) != names.size())
        return false;
    for (int row = 0; row < count(); ++row) {
        if (nameOf(*item(row)) != names[std::size_t(row)])
            return false;
    }
    return true;
}

void FileList::showEmptyFolder(const std::string& folderPath)
{
    m_read.supersede();
    m_path = folderPath;
    clear();
}

void FileList::appendNames(const std::vector<std::string>& names)
{
    if (names.empty())
        return;
    addNames(names);
    scrollToBottom();
}

void FileList::addNames(const std::vector<std::string>& names)
{
    // All rows in one insertion: a list of many thousand pieces grows in a few steps.
    const int first = count();
    QStringList texts;
    texts.reserve(qsizetype(names.size()));
    std::vector<int> unusual; // rows whose text does not give the name back
    for (const std::string& name : names) {
        const QByteArray bytes = QByteArray::fromStdString(name);
        if (std::all_of(name.begin(), name.end(), [](char c) { return (c & asciiMask) == c; })) {
            texts << QString::fromLatin1(bytes);
        } else {
            texts << QFile::decodeName(bytes);
            if (QFile::encodeName(texts.back()) != bytes)
                unusual.push_back(first + int(texts.size()) - 1);
        }
    }
    addItems(texts);
    for (const int row : unusual)
        item(row)->setData(nameRole, QByteArray::fromStdString(names[std::size_t(row - first)]));
}

void FileList::paintEvent(QPaintEvent* event)
{
    if (m_read.isNoteShown())
        BackgroundRead::paintNote(*viewport());
    else
        QListWidget::paintEvent(event);
}

void FileList::select(const std::string& name)
{
    if (name.empty())
        return;
    for (int row = 0; row < count(); ++row) {
        if (nameOf(*item(row)) == name) {
            setCurrentRow(row);
            scrollToItem(item(row));
            return;
        }
    }
}

std::string FileList::selectedName() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty())
        return {};
    return nameOf(*selected.front());
}

void FileList::showNames(const std::vector<std::string>& names)
{
    clear();
    addNames(names);
}

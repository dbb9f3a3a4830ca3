#include "filelist.h"

#include "folderlisting.h"

#include <QFile>

namespace {

constexpr int nameRole = Qt::UserRole;

QListWidgetItem* itemFor(const std::string& name)
{
    const QByteArray bytes = QByteArray::fromStdString(name);
    auto* item = new QListWidgetItem(QFile::decodeName(bytes));
    item->setData(nameRole, bytes);
    return item;
}

} // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent)
{
    // Every row has the same height, which keeps lists of many thousand pieces fast.
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

qfs::Error FileList::setPath(const std::string& folderPath)
{
    std::vector<std::string> names;
    if (qfs::Error error = qfs::FolderListing::regularFiles(folderPath, names); error.failed())
        return error;
    m_path = folderPath;
    m_pending.clear();
    showNames(names);
    return {};
}

void FileList::showEmptyFolder(const std::string& folderPath)
{
    m_path = folderPath;
    m_pending.clear();
    clear();
}

void FileList::appendName(const std::string& name)
{
    m_pending.push_back(name);
}

void FileList::flush()
{
    if (m_pending.empty())
        return;
    setUpdatesEnabled(false);
    for (const std::string& name : m_pending)
        addItem(itemFor(name));
    setUpdatesEnabled(true);
    m_pending.clear();
}

std::string FileList::selectedName() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty())
        return {};
    return selected.front()->data(nameRole).toByteArray().toStdString();
}

std::vector<std::string> FileList::names() const
{
    std::vector<std::string> result;
    result.reserve(std::size_t(count()));
    for (int row = 0; row < count(); ++row)
        result.push_back(item(row)->data(nameRole).toByteArray().toStdString());
    return result;
}

void FileList::showNames(const std::vector<std::string>& names)
{
    setUpdatesEnabled(false);
    clear();
    for (const std::string& name : names)
        addItem(itemFor(name));
    setUpdatesEnabled(true);
}

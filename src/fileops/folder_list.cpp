// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/folder_list.h"

#include "base/native_path.h"
#include "base/path.h"
#include "ports/file_system.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>
#include <utility>
#include <vector>

namespace pelmora {

namespace {
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kIndentPerLevel = 2;

using native_path::readable;

// The folders in path, in the order the user reads them.
std::vector<Path> child_folders(FileSystem& files, const Path& path)
{
    std::vector<Path> names;
    for (ListedName& entry : files.list(path)) {
        if (entry.kind == PathKind::Folder) // a link to a folder counts
            names.push_back(std::move(entry.name));
    }
    std::ranges::sort(names, [](const Path& a, const Path& b) {
        return QString::compare(a.readable(), b.readable(), Qt::CaseInsensitive) < 0;
    });
    return names;
}
} // namespace

FolderList::FolderList(FileSystem& files, QWidget* parent) : QListWidget(parent), m_files(files)
{
    setObjectName(QStringLiteral("Dir1"));
    const auto open = [this](QListWidgetItem* item) {
        set_path(Path(item->data(kPathRole).toString()));
    };
    connect(this, &QListWidget::itemClicked, this, open);
    // From the keyboard: the arrow keys choose an entry, Enter opens it.
    connect(this, &QListWidget::itemActivated, this, open);
}

void FolderList::keyPressEvent(QKeyEvent* event)
{
    QListWidget::keyPressEvent(event);
    // Enter on an entry opened it; it must not go on to confirm the dialog.
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && currentItem())
        event->accept();
}

void FolderList::set_root(const Path& root)
{
    m_root = root;
    set_path(root);
}

void FolderList::set_path(const Path& path)
{
    const Path clean = path.cleaned();
    const Path root = m_root.cleaned();
    Path next;
    if (clean == root)
        next = m_root;
    else if (clean.is_within(root) && m_files.stat(clean, true).kind == PathKind::Folder)
        next = clean;
    else
        return;
    const bool changed = next != m_path;
    m_path = next;
    fill();
    if (changed)
        Q_EMIT path_changed();
}

void FolderList::refresh()
{
    fill();
}

void FolderList::fill()
{
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    // An entry carries its path as the text of base/path.h.
    auto add = [this](const QIcon& icon, const QString& text, const Path& path, int level) {
        auto* item = new QListWidgetItem(
            icon, QString(qsizetype(level) * kIndentPerLevel, QLatin1Char(' ')) + text, this);
        item->setData(kPathRole, path.text());
        return item;
    };
    QListWidgetItem* current = add(open, m_root.readable(), m_root, 0);
    int level = 0;
    if (m_path != m_root) {
        Path built = m_root.cleaned();
        const QString rest = m_path.text().mid(built.text().size());
        for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            built = built.child(part);
            current = add(open, readable(part), built, ++level);
        }
    }
    for (const Path& child : child_folders(m_files, m_path))
        add(closed, child.readable(), m_path.child(child.text()), level + 1);
    setCurrentItem(current);
}

} // namespace pelmora

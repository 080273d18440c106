// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/folder_list.h"

#include "platform/long_path.h"
#include "platform/native_path.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kIndentPerLevel = 2;

using native_path::readable;

bool is_folder(const QString& path)
{
    struct stat st
    {};
    return posix::stat_path(native_path::to_native(path), st, true) && S_ISDIR(st.st_mode);
}

// The folders in path by their exact bytes (Qt's listing drops names that are not UTF-8),
// in the order the user reads them.
QStringList child_folders(const QString& path)
{
    const posix::Fd folder = posix::open_folder(native_path::to_native(path), O_RDONLY);
    DIR* dir = folder.valid() ? ::fdopendir(::dup(folder.get())) : nullptr;
    if (!dir)
        return {};
    QStringList names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        struct stat st
        {};
        if (name != "." && name != ".." && ::fstatat(folder.get(), e->d_name, &st, 0) == 0 &&
            S_ISDIR(st.st_mode))
            names.append(native_path::from_native(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(readable(a), readable(b), Qt::CaseInsensitive) < 0;
    });
    return names;
}
} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("Dir1"));
    const auto open = [this](QListWidgetItem* item) { set_path(item->data(kPathRole).toString()); };
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

void FolderList::set_root(const QString& root)
{
    m_root = root;
    set_path(root);
}

void FolderList::set_path(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    const QString root = QDir::cleanPath(m_root);
    QString next;
    if (clean == root)
        next = m_root;
    else if (clean.startsWith(root == QStringLiteral("/") ? root : root + QLatin1Char('/')) &&
             is_folder(clean))
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
    auto add = [this](const QIcon& icon, const QString& text, const QString& path, int level) {
        auto* item = new QListWidgetItem(
            icon, QString(qsizetype(level) * kIndentPerLevel, QLatin1Char(' ')) + text, this);
        item->setData(kPathRole, path);
        return item;
    };
    QListWidgetItem* current = add(open, readable(m_root), m_root, 0);
    int level = 0;
    if (m_path != m_root) {
        QString built = QDir::cleanPath(m_root);
        const QString rest = m_path.mid(built.size());
        for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            built += (built.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + part;
            current = add(open, readable(part), built, ++level);
        }
    }
    const QString base = m_path.endsWith(QLatin1Char('/')) ? m_path : m_path + QLatin1Char('/');
    for (const QString& child : child_folders(m_path))
        add(closed, readable(child), base + child, level + 1);
    setCurrentItem(current);
}

} // namespace pelmora

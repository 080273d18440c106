// SPDX-License-Identifier: GPL-3.0-or-later
// The chooser's folder list: the path from the root down to the open folder, then the
// folders inside it. A click opens the folder clicked.
#pragma once

#include "base/path.h"

#include <QListWidget>

namespace pelmora {

class FileSystem;

class FolderList final : public QListWidget
{
    Q_OBJECT
public:
    explicit FolderList(FileSystem& files, QWidget* parent = nullptr);

    // Opens the root (ending with "/") of the list.
    void set_root(const Path& root);
    const Path& root() const { return m_root; }
    // The open folder: the root as given, or a folder below it without a trailing "/".
    const Path& path() const { return m_path; }
    // Opens a folder at or below the root; other paths are ignored.
    void set_path(const Path& path);
    // Reads the folders of the open folder again.
    void refresh();

Q_SIGNALS:
    void path_changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fill();

    FileSystem& m_files;
    Path m_root;
    Path m_path;
};

} // namespace pelmora

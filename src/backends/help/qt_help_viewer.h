// SPDX-License-Identifier: GPL-3.0-or-later
// Help backend on Qt Help: our own topics window over the Qt Help collection installed next
// to the executable, with contents, index, full-text search and a page browser.
#pragma once

#include "ports/help_viewer.h"

#include <QString>
#include <QWidget>
#include <memory>

namespace pelmora {

class QtHelpViewer final : public HelpViewer
{
public:
    // The collection next to the executable; the search index is kept in the user's cache.
    QtHelpViewer();
    // An explicit collection, and the folder that receives the working copy and its search
    // index (tests).
    QtHelpViewer(QString collection_file, QString work_dir);
    ~QtHelpViewer() override;
    Q_DISABLE_COPY_MOVE(QtHelpViewer)

    // Opens the help window, or brings the open one to the front. A missing collection, or
    // one Qt Help cannot read, opens nothing.
    void show_topics() override;

    // The help window (object name "help_window") once it was opened, null before.
    QWidget* window() const { return m_window.get(); }

    // <prefix>/share/pelmora/pelmora.qhc when installed, else next to the program.
    static QString default_collection_file();
    static QString collection_file_for(const QString& program_dir);
    static QString default_work_dir();

private:
    // The collection the window reads: a copy in the work folder, refreshed when the
    // installed one is newer, so that the search index can be written next to it even
    // where the program folder is read-only.
    QString working_collection() const;

    QString m_collection;
    QString m_work_dir;
    std::unique_ptr<QWidget> m_window; // closing hides it; the next call shows it again
};

} // namespace pelmora

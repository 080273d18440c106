// SPDX-License-Identifier: GPL-3.0-or-later
// A main window on fakes whose start root is a real temporary folder, with the POSIX shell
// layer on it, scripted answers, and helpers to answer the modal dialogs from inside them.
#pragma once

#include "backends/posix/posix_shell.h"
#include "backends/unlha/unlha_archiver.h"
#include "fileops/dir_select_frm.h"
#include "fileops/folder_list.h"
#include "main_window_fixture.h"
#include "path_values.h"
#include "session/history_log.h"
#include "session/session.h"
#include "temporary_home.h"
#include "test_tree.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

namespace pelmora::test {

// Progress that records its use and can ask to cancel.
class ScriptedProgress final : public CopyProgressFactory
{
public:
    std::unique_ptr<CopyProgress> begin(const Path&, const Path&, qint64 total, Transfer) override
    {
        ++begun;
        last_total = total;
        class P final : public CopyProgress
        {
        public:
            explicit P(ScriptedProgress& o) : m_o(o) {}
            bool update(qint64 done, qint64) override
            {
                m_o.last_done = done;
                return !m_o.cancel;
            }

        private:
            ScriptedProgress& m_o;
        };
        return std::make_unique<P>(*this);
    }
    bool cancel = false;
    int begun = 0;
    qint64 last_total = 0;
    qint64 last_done = 0;
};

// Runs act on the first modal dialog of type T, from inside its own event loop.
template <typename T> void when_modal(std::function<void(T&)> act)
{
    auto* timer = new QTimer(qApp);
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, act, ticks] {
        if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(*d);
        } else if (++*ticks > 2000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(5);
}

inline QPushButton* button(QWidget& w, const char* name)
{
    return w.findChild<QPushButton*>(QLatin1String(name));
}

// Opens folder in the chooser and presses its OK button.
inline void choose_folder(const QString& folder)
{
    when_modal<dir_selectFrm>([folder](dir_selectFrm& d) {
        d.Dir1().set_path(Path(folder));
        button(d, "cmd_ok")->click();
    });
}

inline void cancel_chooser()
{
    when_modal<dir_selectFrm>([](dir_selectFrm& d) { button(d, "cmd_cansel")->click(); });
}

inline QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct FileOpsFixture
{
    TestTree tree;
    MainWindowFixture f;
    ScriptedProgress progress;
    PosixShell shell{f.fake.messages, &progress};
    UnlhaArchiver archiver;

    FileOpsFixture()
    {
        f.fake.roots.list = {Root{Path(tree.root()), QStringLiteral("ホーム")}};
        f.platform.shell = &shell;
        f.platform.archiver = &archiver;
        for (const char* item : {"p_filecopy", "p_filemove", "p_dust"})
            action(item)->setEnabled(true);
        action("p_undo")->setEnabled(false);
    }

    QString p(const char* rel) const { return tree.path(QString::fromUtf8(rel)); }
    QRV_Public& session() { return f.session; }
    HistoryLog& history() { return f.window->history(); }
    ScriptedMessageBoxes& messages() { return f.fake.messages; }
    QAction* action(const char* name) { return f.window->menu_item(name); }
    QTimer* timer() { return f.window->findChild<QTimer*>(QStringLiteral("Timer1")); }

    void select(const QString& rel)
    {
        const QString full = tree.path(rel);
        const qsizetype cut = full.lastIndexOf(QLatin1Char('/')) + 1;
        session().sel_dir = Path(full.left(cut));
        session().sel_file = Path(full.mid(cut));
    }
    void mark(const QStringList& rels)
    {
        f.child<QRadioButton>("opt_f_1")->setChecked(true);
        QStringList marks;
        for (const QString& r : rels)
            marks.append(tree.path(r));
        session().sel_marks = marks.isEmpty() ? empty_path_list() : paths(marks);
    }
    void trigger(const char* item) { action(item)->trigger(); }

    QStringList history_texts() const
    {
        QStringList out;
        HistoryLog& h = f.window->history();
        for (qsizetype i = 0; i < h.size(); ++i)
            out.append(h.entry(i).text);
        return out;
    }
    QList<WinColor> history_colors() const
    {
        QList<WinColor> out;
        HistoryLog& h = f.window->history();
        for (qsizetype i = 0; i < h.size(); ++i)
            out.append(h.entry(i).color);
        return out;
    }
    QStringList shown_texts() const
    {
        QStringList out;
        for (const auto& s : f.fake.messages.shown)
            out.append(s.text);
        return out;
    }
};

} // namespace pelmora::test

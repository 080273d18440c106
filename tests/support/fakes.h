// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes of the platform layers for tests: an in-memory folder tree, scripted message-box
// answers, a settable clock, fixed roots.
#pragma once

#include "path_values.h"
#include "ports/archiver.h"
#include "ports/clock.h"
#include "ports/event_yield.h"
#include "ports/folder_enumerator.h"
#include "ports/message_box.h"
#include "ports/opener.h"
#include "ports/platform.h"
#include "ports/preview_renderer.h"
#include "ports/roots.h"
#include "session/main_view.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QSet>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

namespace pelmora::test {

// Folders map to their entries; a folder missing from the map is unreadable.
class FakeTree final
{
public:
    void add_folder(const std::string& folder, std::vector<FolderEntry> entries)
    {
        m_folders[folder] = std::move(entries);
    }
    const std::vector<FolderEntry>* find(const std::string& folder) const
    {
        auto it = m_folders.find(folder);
        return it == m_folders.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, std::vector<FolderEntry>> m_folders;
};

inline FolderEntry file(std::string name, std::uint32_t a = 0)
{
    return FolderEntry{std::move(name), a};
}
inline FolderEntry dir(std::string name, std::uint32_t extra = 0)
{
    return FolderEntry{std::move(name), attr::Directory | extra};
}

class FakeEnumeratorFactory final : public FolderEnumeratorFactory
{
public:
    explicit FakeEnumeratorFactory(const FakeTree& tree) : m_tree(tree) {}
    std::unique_ptr<FolderEnumerator> for_root(const std::string& root) override;

    std::atomic<int> roots_opened{0};
    std::atomic<int> folders_listed{0};
    std::vector<std::string> opened_roots; // written on the caller's thread only

    // When set, listing this folder blocks until release() (to hold a scan mid-way).
    void hold_at(const std::string& folder) { m_holdAt = folder; }
    void release();
    // Waits until some scan reached the held folder.
    bool wait_until_held(int ms = 5000);

private:
    friend class FakeEnumerator;
    const FakeTree& m_tree;
    std::string m_holdAt;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_held = false;
    bool m_released = false;
};

// Answers message boxes from a script and records what was asked.
class ScriptedMessageBoxes final : public MessageBoxes
{
public:
    struct Shown
    {
        QString text;
        MsgIcon icon;
        MsgButtons buttons;
    };
    MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) override
    {
        shown.append(Shown{text, icon, buttons});
        if (during_show)
            during_show(text);
        if (buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        return answers.isEmpty() ? MsgAnswer::No : answers.takeFirst();
    }
    QList<MsgAnswer> answers;
    QList<Shown> shown;
    std::function<void(const QString&)> during_show; // runs while a box is up
};

// An archiver that answers every call with a chosen code, writes nothing and takes what it
// did not write for a good archive.
class FakeArchiver final : public Archiver
{
public:
    int run_into(const QByteArray& commandLine, int, int, QByteArray& report) override
    {
        lines.append(commandLine);
        report = QByteArrayLiteral("fake report");
        return code;
    }
    bool verify(int) override { return true; }
    int code = 0;
    QList<QByteArray> lines;
};

class FakeClock final : public Clock
{
public:
    QDateTime now() const override { return time; }
    QDateTime time = QDateTime(QDate(2002, 2, 20), QTime(21, 5, 3));
};

class CountingYield final : public EventYield
{
public:
    void process_pending() override { ++calls; }
    int calls = 0;
};

// The main window as the logic sees it, with no window: keeps what it was last told.
class RecordingMainView final : public MainView
{
public:
    void set_busy_pointer(bool busy) override { busy_depth += busy ? 1 : -1; }
    void show_wait(bool shown) override { wait_shown = shown; }
    void set_grid_redraw(bool on) override { grid_redraw = on; }
    void set_commands_enabled(bool on) override { commands_enabled = on; }
    void start_blink() override { ++blinks; }
    bool single_mode() const override { return single; }

    bool single = true;
    int busy_depth = 0;
    bool wait_shown = false;
    bool grid_redraw = true;
    bool commands_enabled = true;
    int blinks = 0;
};

class FixedRoots final : public RootProvider
{
public:
    QList<Root> roots() const override { return list; }
    QList<Root> list;
};

// Renders a plain picture of the pane's size, a shade of grey per page, or fails for the paths
// listed in failFor. Like a real document, it tells its page count once a later page was
// asked for.
class FakeRenderer final : public PreviewRenderer
{
public:
    PreviewResult render_page(const PageRequest& request) override
    {
        rendered.append(request.path);
        requests.append(request);
        if (during)
            during(request.path);
        PreviewResult r;
        if (failFor.contains(request.path) || request.pane.isEmpty()) {
            r.error = PreviewError::ConverterFailed;
            r.message = QStringLiteral("failed");
            return r;
        }
        if (request.page > 0)
            counted.insert(request.path);
        r.page = qBound(0, request.page, pages - 1);
        r.page_count = counted.contains(request.path) ? pages : 0;
        r.image = QImage(request.pane, QImage::Format_RGB32);
        r.image.fill(QColor::fromHsv(0, 0, 40 + 20 * (r.page % 10)));
        return r;
    }
    void warm_up() override { ++warm_ups; }
    PathList rendered;
    QList<PageRequest> requests;
    QSet<Path> counted;
    int pages = 3;
    int warm_ups = 0;
    PathList failFor;
    std::function<void(const Path&)> during; // runs while a render is in progress
};

class FakeOpener final : public Opener
{
public:
    // Answers at once, as a desktop that decides immediately would.
    void open(const Path& path, std::function<void(bool)> done) override
    {
        opened.append(path);
        done(accept);
    }
    PathList opened;
    bool accept = true;
};

// A platform of fakes, wired together.
struct FakePlatform
{
    FakeTree tree;
    FakeEnumeratorFactory folders{tree};
    ScriptedMessageBoxes messages;
    FakeClock clock;
    CountingYield yield;
    FixedRoots roots;
    FakeRenderer renderer;
    FakeOpener opener;
    Platform platform()
    {
        Platform p;
        p.messages = &messages;
        p.clock = &clock;
        p.yield = &yield;
        p.roots = &roots;
        p.folders = &folders;
        p.preview = &renderer;
        p.opener = &opener;
        return p;
    }
};

} // namespace pelmora::test

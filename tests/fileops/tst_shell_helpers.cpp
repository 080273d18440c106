// SPDX-License-Identifier: GPL-3.0-or-later
// The path helpers and the refusal rules in front of the shell layer.
#include "backends/posix/posix_file_system.h"
#include "fileops/shell_helpers.h"
#include "path_values.h"
#include "ports/shell.h"
#include "test_tree.h"

#include <QtTest>

using namespace pelmora;
using namespace pelmora::test;

namespace {

// Records what reached the shell layer.
class RecordingShell final : public Shell
{
public:
    bool transfer(const Path& src, const Path& dst, int func, TransferReport*) override
    {
        calls.append(src.text() + QLatin1Char('>') + dst.text() + QLatin1Char('#') +
                     QString::number(func));
        return result;
    }
    int remove(const PathList& paths, bool, QList<TrashedFile>*) override
    {
        removed = paths;
        return 7;
    }
    bool restore(const TrashedFile&) override { return false; }
    bool delete_if_unchanged(const Path&, const FileIdentity&) override { return false; }
    QStringList calls;
    PathList removed;
    bool result = true;
};

} // namespace

class TestShellHelpers : public QObject
{
    Q_OBJECT
    PosixFileSystem files;

private Q_SLOTS:
    void quote_if_needed_wraps_spaces_and_commas()
    {
        QCOMPARE(quote_if_needed(QStringLiteral("/home/u/My Documents/a.xls")),
                 QStringLiteral("\"/home/u/My Documents/a.xls\""));
        QCOMPARE(quote_if_needed(QStringLiteral("/d/a,b.xls")), QStringLiteral("\"/d/a,b.xls\""));
        QCOMPARE(quote_if_needed(QStringLiteral("/docs/a.xls")), QStringLiteral("/docs/a.xls"));
        QCOMPARE(quote_if_needed(QString()), QString());
        // Already quoted text with a space is quoted again, as the archiver line expects.
        QCOMPARE(quote_if_needed(QStringLiteral("\"a b\"")), QStringLiteral("\"\"a b\"\""));
    }

    void trimmed_with_backslash_ends_in_one_separator()
    {
        QCOMPARE(trimmed_with_backslash(QStringLiteral("/docs  ")), QStringLiteral("/docs/"));
        QCOMPARE(trimmed_with_backslash(QStringLiteral("/docs/")), QStringLiteral("/docs/"));
        QCOMPARE(trimmed_with_backslash(QString()), QStringLiteral("/"));
        QCOMPARE(trimmed_with_backslash(QStringLiteral("  /docs")), QStringLiteral("  /docs/"));
    }

    void file_name_part_takes_the_text_after_the_last_separator()
    {
        const auto part = [](const char* path) {
            return file_name_part(Path(QString::fromUtf8(path))).text();
        };
        QCOMPARE(part("/docs/sub/a.xls"), QStringLiteral("a.xls"));
        QCOMPARE(part("a.xls"), QStringLiteral("a.xls"));
        QCOMPARE(part("/docs/"), QString());
        QCOMPARE(part("/docs//"), QString());
        QCOMPARE(part(""), QString());
    }

    void path_exists_finds_ordinary_files_and_named_folders()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls"));
        QVERIFY(t.createFile(".hidden.xls"));
        QVERIFY(t.createDir("sub"));
        const auto exists = [&](const char* rel) { return path_exists(&files, Path(t.path(rel))); };
        QVERIFY(!path_exists(&files, Path()));
        QVERIFY(exists("a.xls"));
        QVERIFY(!exists(".hidden.xls"));
        QVERIFY(!exists("gone.xls"));
        QVERIFY(exists("sub/"));
        QVERIFY(!exists("sub"));
        QVERIFY(!exists("nosub/"));
    }

    void shell_copy_or_move_refuses_before_the_shell()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls"));
        QVERIFY(t.createFile(".h.xls"));
        RecordingShell shell;
        const Path b(t.path("b.xls"));
        Path src(t.path("a.xls"));
        QVERIFY(!shell_copy_or_move(&shell, &files, src, Path(), FO_COPY));
        Path empty;
        QVERIFY(!shell_copy_or_move(&shell, &files, empty, b, FO_COPY));
        Path missing(t.path("gone.xls"));
        QVERIFY(!shell_copy_or_move(&shell, &files, missing, b, FO_MOVE));
        Path hidden(t.path(".h.xls"));
        QVERIFY(!shell_copy_or_move(&shell, &files, hidden, b, FO_MOVE));
        QVERIFY(shell.calls.isEmpty());
        QVERIFY(!shell_copy_or_move(nullptr, &files, src, b, FO_COPY));
    }

    void shell_copy_or_move_passes_the_result_of_the_shell()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls"));
        RecordingShell shell;
        Path src(t.path("a.xls"));
        const Path dst(QStringLiteral("/d/a.xls"));
        QVERIFY(shell_copy_or_move(&shell, &files, src, dst, FO_MOVE));
        shell.result = false;
        QVERIFY(!shell_copy_or_move(&shell, &files, src, dst, FO_COPY));
        QCOMPARE(shell.calls, QStringList({t.path("a.xls") + QStringLiteral(">/d/a.xls#1"),
                                           t.path("a.xls") + QStringLiteral(">/d/a.xls#2")}));
    }

    void shell_copy_or_move_strips_the_separator_of_a_folder_source()
    {
        TestTree t;
        QVERIFY(t.createDir("sub"));
        RecordingShell shell;
        Path src(t.path("sub/"));
        QVERIFY(shell_copy_or_move(&shell, &files, src, Path(QStringLiteral("/d/sub")), FO_MOVE));
        QCOMPARE(src, Path(t.path("sub")));
        QCOMPARE(shell.calls.front(), t.path("sub") + QStringLiteral(">/d/sub#1"));
    }

    void shell_delete_hands_the_code_on()
    {
        RecordingShell shell;
        const QStringList texts{QStringLiteral("/a"), QStringLiteral("/b")};
        QCOMPARE(shell_delete(&shell, paths(texts), false), 7);
        QCOMPARE(shell.removed, paths(texts));
        QVERIFY(shell_delete(nullptr, paths(texts), false) != 0);
    }
};

QTEST_GUILESS_MAIN(TestShellHelpers)
#include "tst_shell_helpers.moc"

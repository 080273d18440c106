// SPDX-License-Identifier: GPL-3.0-or-later
// The path helpers and the refusal rules in front of the shell layer.
#include "backends/posix/posix_file_system.h"
#include "fileops/shell_helpers.h"
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
    bool transfer(const QString& src, const QString& dst, int func, TransferReport*) override
    {
        calls.append(src + QLatin1Char('>') + dst + QLatin1Char('#') + QString::number(func));
        return result;
    }
    int remove(const QStringList& paths, bool, QList<TrashedFile>*) override
    {
        removed = paths;
        return 7;
    }
    bool restore(const TrashedFile&) override { return false; }
    bool delete_if_unchanged(const QString&, const FileIdentity&) override { return false; }
    QStringList calls;
    QStringList removed;
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
        QCOMPARE(file_name_part(QStringLiteral("/docs/sub/a.xls")), QStringLiteral("a.xls"));
        QCOMPARE(file_name_part(QStringLiteral("a.xls")), QStringLiteral("a.xls"));
        QCOMPARE(file_name_part(QStringLiteral("/docs/")), QString());
        QCOMPARE(file_name_part(QString()), QString());
        QString out = QStringLiteral("old");
        file_name_part(QStringLiteral("/x/y.doc"), out);
        QCOMPARE(out, QStringLiteral("y.doc"));
    }

    void path_exists_finds_ordinary_files_and_named_folders()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls"));
        QVERIFY(t.createFile(".hidden.xls"));
        QVERIFY(t.createDir("sub"));
        QVERIFY(!path_exists(&files, QString()));
        QVERIFY(path_exists(&files, t.path("a.xls")));
        QVERIFY(!path_exists(&files, t.path(".hidden.xls")));
        QVERIFY(!path_exists(&files, t.path("gone.xls")));
        QVERIFY(path_exists(&files, t.path("sub/")));
        QVERIFY(!path_exists(&files, t.path("sub")));
        QVERIFY(!path_exists(&files, t.path("nosub/")));
    }

    void shell_copy_or_move_refuses_before_the_shell()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls"));
        QVERIFY(t.createFile(".h.xls"));
        RecordingShell shell;
        QString src = t.path("a.xls");
        QVERIFY(!shell_copy_or_move(&shell, &files, src, QString(), FO_COPY));
        QString empty;
        QVERIFY(!shell_copy_or_move(&shell, &files, empty, t.path("b.xls"), FO_COPY));
        QString missing = t.path("gone.xls");
        QVERIFY(!shell_copy_or_move(&shell, &files, missing, t.path("b.xls"), FO_MOVE));
        QString hidden = t.path(".h.xls");
        QVERIFY(!shell_copy_or_move(&shell, &files, hidden, t.path("b.xls"), FO_MOVE));
        QVERIFY(shell.calls.isEmpty());
        QVERIFY(!shell_copy_or_move(nullptr, &files, src, t.path("b.xls"), FO_COPY));
    }

    void shell_copy_or_move_passes_the_result_of_the_shell()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls"));
        RecordingShell shell;
        QString src = t.path("a.xls");
        QVERIFY(shell_copy_or_move(&shell, &files, src, QStringLiteral("/d/a.xls"), FO_MOVE));
        shell.result = false;
        QVERIFY(!shell_copy_or_move(&shell, &files, src, QStringLiteral("/d/a.xls"), FO_COPY));
        QCOMPARE(shell.calls, QStringList({src + QStringLiteral(">/d/a.xls#1"),
                                           src + QStringLiteral(">/d/a.xls#2")}));
    }

    void shell_copy_or_move_strips_the_separator_of_a_folder_source()
    {
        TestTree t;
        QVERIFY(t.createDir("sub"));
        RecordingShell shell;
        QString src = t.path("sub/");
        QVERIFY(shell_copy_or_move(&shell, &files, src, QStringLiteral("/d/sub"), FO_MOVE));
        QCOMPARE(src, t.path("sub"));
        QCOMPARE(shell.calls.front(), t.path("sub") + QStringLiteral(">/d/sub#1"));
    }

    void shell_delete_hands_the_code_on()
    {
        RecordingShell shell;
        const QStringList paths{QStringLiteral("/a"), QStringLiteral("/b")};
        QCOMPARE(shell_delete(&shell, paths, false), 7);
        QCOMPARE(shell.removed, paths);
        QVERIFY(shell_delete(nullptr, paths, false) != 0);
    }
};

QTEST_GUILESS_MAIN(TestShellHelpers)
#include "tst_shell_helpers.moc"

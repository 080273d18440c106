// SPDX-License-Identifier: GPL-3.0-or-later
// The destination chooser and the new-folder dialog on a real folder tree: captions, the
// dest_dir forms, the archive-name checks, the overwrite question, folder creation.
#include "backends/qt/qt_event_yield.h"
#include "base/native_path.h"
#include "fileops/mkdir_frm.h"
#include "fileops_fixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

struct Chooser
{
    FileOpsFixture fx;
    std::unique_ptr<dir_selectFrm> dialog;

    explicit Chooser(int mode)
    {
        fx.session().dlg_mode = DlgMode(mode);
        dialog = std::make_unique<dir_selectFrm>(fx.session(), fx.f.platform);
    }
    template <typename T> T* child(const char* name)
    {
        return dialog->findChild<T*>(QLatin1String(name));
    }
    void ok() { button(*dialog, "cmd_ok")->click(); }
};

} // namespace

class TestDirSelect : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captions_follow_the_mode()
    {
        const QList<std::pair<int, QString>> modes{
            {1, QStringLiteral("圧縮ファイルの保存先を指定してください：")},
            {2, QStringLiteral("ファイルのコピー先を指定してください：")},
            {3, QStringLiteral("ファイルの移動先を指定してください：")},
        };
        for (const auto& [mode, caption] : modes) {
            Chooser c(mode);
            QCOMPARE(c.child<QGroupBox>("fra_dir")->title(), caption);
            QCOMPARE(c.child<QGroupBox>("fra_file")->isHidden(), mode != 1);
        }
        Chooser c(2);
        QCOMPARE(button(*c.dialog, "cmd_ok")->text(), QStringLiteral("設定(&O)"));
        QCOMPARE(button(*c.dialog, "cmd_cansel")->text(), QStringLiteral("ｷｬﾝｾﾙ(&C)"));
        QCOMPARE(c.child<QToolButton>("Command1")->toolTip(), QStringLiteral("新規フォルダの作成"));
        QCOMPARE(c.child<QLabel>("Label1")->text(), QStringLiteral(".LZH"));
    }

    void opens_at_the_start_root_with_the_date_as_name()
    {
        Chooser c(1);
        QCOMPARE(c.dialog->Dir1().path(), Path(c.fx.tree.root()));
        QCOMPARE(c.child<QLabel>("lbl_path")->text(), QString());
        // The fake clock stands at 20 February 2002, 21:05:03.
        QCOMPARE(c.child<QLineEdit>("txt_filename")->text(), QStringLiteral("020220210503"));
    }

    void root_gives_one_separator_and_a_sub_folder_gains_one()
    {
        {
            Chooser c(2);
            c.ok();
            QCOMPARE(c.fx.session().dlg_cancel, 0);
            QCOMPARE(c.fx.session().dest_dir, Path(c.fx.tree.root()));
        }
        {
            Chooser c(3);
            QVERIFY(c.fx.tree.createDir("docs"));
            c.dialog->Dir1().set_path(Path(c.fx.p("docs")));
            c.ok();
            QCOMPARE(c.fx.session().dest_dir, Path(c.fx.p("docs/")));
        }
        {
            FileOpsFixture fx;
            fx.f.fake.roots.list = {Root{Path(QStringLiteral("/")), QString()}};
            fx.session().dlg_mode = DlgMode::Copy;
            dir_selectFrm d(fx.session(), fx.f.platform);
            button(d, "cmd_ok")->click();
            QCOMPARE(fx.session().dest_dir, Path(QStringLiteral("/")));
        }
    }

    void cancel_reports_cancel_and_keeps_the_old_values()
    {
        Chooser c(2);
        c.fx.session().dest_dir = Path(QStringLiteral("/old/"));
        c.fx.session().archive_name = Path(QStringLiteral("old"));
        button(*c.dialog, "cmd_cansel")->click();
        QCOMPARE(c.fx.session().dlg_cancel, -1);
        QCOMPARE(c.fx.session().dest_dir, Path(QStringLiteral("/old/")));
        QCOMPARE(c.fx.session().archive_name, Path(QStringLiteral("old")));
        QCOMPARE(c.dialog->result(), int(QDialog::Rejected));
    }

    void closing_by_the_frame_counts_as_cancel()
    {
        Chooser c(3);
        c.fx.session().dlg_cancel = 0;
        c.dialog->reject();
        QCOMPARE(c.fx.session().dlg_cancel, -1);
    }

    void folder_list_moves_show_the_path()
    {
        Chooser c(2);
        QVERIFY(c.fx.tree.createDir("docs/sub"));
        c.dialog->Dir1().refresh();
        QListWidget& list = c.dialog->Dir1();
        const auto item = [&list](const QString& text) -> QListWidgetItem* {
            for (int i = 0; i < list.count(); ++i) {
                if (list.item(i)->text().trimmed() == text)
                    return list.item(i);
            }
            return nullptr;
        };
        QListWidgetItem* docs = item(QStringLiteral("docs"));
        QVERIFY(docs);
        Q_EMIT list.itemClicked(docs);
        QCOMPARE(c.dialog->Dir1().path(), Path(c.fx.p("docs")));
        QCOMPARE(c.child<QLabel>("lbl_path")->text(), c.fx.p("docs"));

        // A folder named in Shift_JIS bytes (資料) is listed, readable, and chosen by its bytes.
        const QByteArray raw = native_path::to_native(c.fx.p("docs")) + "/\x8e\x91\x97\xbf";
        QVERIFY(::mkdir(raw.constData(), 0755) == 0);
        c.dialog->Dir1().refresh();
        QListWidgetItem* sjis = item(QStringLiteral("資料"));
        QVERIFY(sjis);
        Q_EMIT list.itemClicked(sjis);
        QCOMPARE(c.dialog->Dir1().path().bytes(), raw);
        QCOMPARE(c.child<QLabel>("lbl_path")->text(), c.fx.p("docs") + QStringLiteral("/資料"));
    }

    void choosing_another_root_opens_its_top()
    {
        TestTree second;
        FileOpsFixture fx;
        QVERIFY(fx.tree.createDir("docs"));
        fx.f.fake.roots.list.append(Root{Path(second.root()), QStringLiteral("ext4")});
        fx.session().dlg_mode = DlgMode::Copy;
        dir_selectFrm d(fx.session(), fx.f.platform);
        QCOMPARE(d.findChild<QComboBox*>(QStringLiteral("Drive1"))->count(), 2);
        d.Dir1().set_path(Path(fx.p("docs")));
        d.findChild<QComboBox*>(QStringLiteral("Drive1"))->setCurrentIndex(1);
        QCOMPARE(d.Dir1().path(), Path(second.root()));
        button(d, "cmd_ok")->click();
        QCOMPARE(fx.session().dest_dir, Path(second.root()));
    }

    void archive_name_checks_in_compress_mode()
    {
        Chooser c(1);
        auto* name = c.child<QLineEdit>("txt_filename");
        c.fx.session().dlg_cancel = -1;
        const QList<std::pair<QString, QString>> bad{
            {QString(), QStringLiteral("保存ファイル名を入力してください")},
            {QStringLiteral("   "), QStringLiteral("保存ファイル名を入力してください")},
            {QStringLiteral("REPORT.LZH"),
             QStringLiteral(
                 "保存ファイル名に拡張子(LZH)や\r\nピリオド( . )を入力しないでください ")},
            {QStringLiteral("A.B"),
             QStringLiteral(
                 "保存ファイル名に拡張子(LZH)や\r\nピリオド( . )を入力しないでください ")},
        };
        for (const auto& [text, message] : bad) {
            c.fx.messages().shown.clear();
            name->setText(text);
            c.ok();
            QCOMPARE(c.fx.shown_texts(), QStringList{message});
            QCOMPARE(c.fx.messages().shown.front().icon, MsgIcon::Exclamation);
            QCOMPARE(c.fx.session().dlg_cancel, -1); // nothing written
            QCOMPARE(c.dialog->result(), 0);
        }
        name->setText(QStringLiteral("  backup "));
        c.ok();
        QCOMPARE(c.fx.session().dlg_cancel, 0);
        QCOMPARE(c.fx.session().archive_name, Path(QStringLiteral("backup")));
        QCOMPARE(c.dialog->result(), int(QDialog::Accepted));
    }

    void copy_and_move_modes_do_not_check_the_name()
    {
        Chooser c(3);
        c.child<QLineEdit>("txt_filename")->setText(QStringLiteral("a.b"));
        c.ok();
        QVERIFY(c.fx.messages().shown.isEmpty());
        QCOMPARE(c.dialog->result(), int(QDialog::Accepted));
    }

    void existing_archive_asks_before_overwriting_data()
    {
        QTest::addColumn<QByteArray>("folder"); // below the root, by its bytes
        QTest::addColumn<bool>("archive_is_a_folder");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("accepted");
        const int no = int(MsgAnswer::No);
        const int yes = int(MsgAnswer::Yes);
        QTest::newRow("root, No") << QByteArray() << false << no << true << false;
        QTest::newRow("root, Yes") << QByteArray() << false << yes << true << true;
        // 資料 in Shift_JIS: the name Qt's file classes cannot reach.
        QTest::newRow("shift_jis folder, No")
            << QByteArray("\x8e\x91\x97\xbf") << false << no << true << false;
        QTest::newRow("a folder of that name is no archive")
            << QByteArray() << true << no << false << true;
    }

    void existing_archive_asks_before_overwriting()
    {
        QFETCH(QByteArray, folder);
        QFETCH(bool, archive_is_a_folder);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, accepted);
        Chooser c(1);
        const QByteArray dir = native_path::to_native(c.fx.tree.root()) + folder;
        QVERIFY(folder.isEmpty() || ::mkdir(dir.constData(), 0755) == 0);
        const QByteArray archive = dir + (folder.isEmpty() ? "" : "/") + "old.LZH";
        if (archive_is_a_folder) {
            QVERIFY(::mkdir(archive.constData(), 0755) == 0);
        } else {
            const int fd =
                ::open(archive.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0 && ::close(fd) == 0);
        }
        c.dialog->Dir1().set_path(Path::from_bytes(dir));
        c.child<QLineEdit>("txt_filename")->setText(QStringLiteral("old"));
        c.fx.messages().answers = {MsgAnswer(answer)};
        c.ok();
        const QStringList question{
            QStringLiteral("入力されたファイル名は既に存在してします\r\n上書きしますか")};
        QCOMPARE(c.fx.shown_texts(), asked ? question : QStringList());
        if (asked)
            QCOMPARE(c.fx.messages().shown.front().icon, MsgIcon::Question);
        QCOMPARE(c.dialog->result(), accepted ? int(QDialog::Accepted) : 0);
        // Written before the question, and kept whatever the answer.
        QCOMPARE(c.fx.session().dlg_cancel, 0);
        QCOMPARE(c.fx.session().dest_dir.bytes(), dir + (folder.isEmpty() ? "" : "/"));
        QCOMPARE(c.fx.session().archive_name, Path(QStringLiteral("old")));
        if (!accepted) {
            button(*c.dialog, "cmd_cansel")->click();
            QCOMPARE(c.fx.session().dlg_cancel, -1);
        }
    }

    void one_press_or_key_answers_the_chooser_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("dlg_cancel");
        QTest::newRow("compress, click") << 1 << QStringLiteral("click") << 0;
        QTest::newRow("copy, click") << 2 << QStringLiteral("click") << 0;
        QTest::newRow("compress, Enter") << 1 << QStringLiteral("enter") << 0;
        QTest::newRow("move, Enter") << 3 << QStringLiteral("enter") << 0;
        QTest::newRow("copy, Esc") << 2 << QStringLiteral("esc") << -1;
    }

    void one_press_or_key_answers_the_chooser()
    {
        QFETCH(int, mode);
        QFETCH(QString, action);
        QFETCH(int, dlg_cancel);
        Chooser c(mode);
        // The focus handler lets pending events run, as the real window system does.
        QtEventYield yield;
        c.fx.f.platform.yield = &yield;
        c.fx.session().dlg_cancel = 7;
        c.dialog->show();
        c.dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(c.dialog.get()));
        QPushButton* ok = button(*c.dialog, "cmd_ok");
        QVERIFY(!ok->hasFocus());
        if (action == QLatin1String("click")) {
            // The release is already waiting when the press (which moves the focus) arrives.
            const QPoint at = ok->rect().center();
            QCoreApplication::postEvent(ok, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                            ok->mapToGlobal(at), Qt::LeftButton,
                                                            Qt::NoButton, Qt::NoModifier));
            QTest::mousePress(ok, Qt::LeftButton, {}, at);
        } else {
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus ? focus : c.dialog.get(),
                            action == QLatin1String("esc") ? Qt::Key_Escape : Qt::Key_Return);
        }
        QTRY_COMPARE(c.fx.session().dlg_cancel, dlg_cancel);
        QVERIFY(!c.dialog->isVisible());
        QCoreApplication::processEvents(); // the deferred path display after the answer
    }

    // New-folder dialog

    void new_folder_in_a_sub_folder_becomes_the_destination()
    {
        Chooser c(2);
        QVERIFY(c.fx.tree.createDir("docs"));
        c.dialog->Dir1().set_path(Path(c.fx.p("docs")));
        create_folder(c, QStringLiteral("  NEW  "));
        QVERIFY(QFileInfo(c.fx.p("docs/NEW")).isDir());
        QCOMPARE(c.dialog->Dir1().path(), Path(c.fx.p("docs/NEW")));
        QCOMPARE(c.child<QLabel>("lbl_path")->text(), c.fx.p("docs/NEW"));
        c.ok();
        QCOMPARE(c.fx.session().dest_dir, Path(c.fx.p("docs/NEW/")));
    }

    void new_folder_at_the_root_has_no_double_separator()
    {
        Chooser c(2);
        create_folder(c, QStringLiteral("NEW"));
        QCOMPARE(c.dialog->Dir1().path(), Path(c.fx.p("NEW")));
        QVERIFY(!c.dialog->Dir1().path().text().contains(QStringLiteral("//")));
        QVERIFY(QFileInfo(c.fx.p("NEW")).isDir());
    }

    void new_folder_refusals_keep_the_dialog_open()
    {
        Chooser c(2);
        QVERIFY(c.fx.tree.createDir("there"));
        mkdir_Frm m(*c.dialog);
        auto* name = m.findChild<QLineEdit*>(QStringLiteral("txt_folder"));
        QCOMPARE(name->text(), QString());
        name->setText(QStringLiteral("  "));
        button(m, "cmd_ok")->click();
        name->setText(QStringLiteral("there"));
        button(m, "cmd_ok")->click();
        name->setText(QStringLiteral("no/such/parent"));
        button(m, "cmd_ok")->click();
        QCOMPARE(c.fx.shown_texts(),
                 QStringList({QStringLiteral("作成するフォルダ名を入力してください"),
                              QStringLiteral("フォルダの作成に失敗しました"),
                              QStringLiteral("フォルダの作成に失敗しました")}));
        QCOMPARE(m.result(), 0);
        QCOMPARE(name->text(), QStringLiteral("no/such/parent"));
        QCOMPARE(c.dialog->Dir1().path(), Path(c.fx.tree.root()));
    }

    void new_folder_cancel_creates_nothing()
    {
        Chooser c(2);
        when_modal<mkdir_Frm>([](mkdir_Frm& m) {
            m.findChild<QLineEdit*>(QStringLiteral("txt_folder"))->setText(QStringLiteral("X"));
            button(m, "cmd_cancel")->click();
        });
        c.child<QToolButton>("Command1")->click();
        QVERIFY(!QFile::exists(c.fx.p("X")));
        QCOMPARE(c.dialog->Dir1().path(), Path(c.fx.tree.root()));
        // The next opening starts with an empty name.
        mkdir_Frm again(*c.dialog);
        QCOMPARE(again.findChild<QLineEdit*>(QStringLiteral("txt_folder"))->text(), QString());
    }

private:
    // Through the chooser's picture button and the modal new-folder dialog.
    static void create_folder(Chooser& c, const QString& name)
    {
        when_modal<mkdir_Frm>([name](mkdir_Frm& m) {
            QCOMPARE(m.findChild<QGroupBox*>(QStringLiteral("Frame1"))->title(),
                     QStringLiteral("作成するフォルダ名を入力してください"));
            QCOMPARE(button(m, "cmd_ok")->text(), QStringLiteral("作成(&M)"));
            auto* field = m.findChild<QLineEdit*>(QStringLiteral("txt_folder"));
            field->setText(name);
            QTest::keyClick(field, Qt::Key_Return); // 作成 is the default button
        });
        c.child<QToolButton>("Command1")->click();
    }
};

QTEST_MAIN(TestDirSelect)
#include "tst_dir_select.moc"

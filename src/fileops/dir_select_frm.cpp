// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/dir_select_frm.h"

#include "base/path.h"
#include "fileops/command_env.h"
#include "fileops/folder_list.h"
#include "fileops/mkdir_frm.h"
#include "ports/clock.h"
#include "ports/event_yield.h"
#include "ports/file_system.h"
#include "ports/message_box.h"
#include "ports/platform.h"
#include "ports/roots.h"
#include "session/named.h"
#include "session/session.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace pelmora {

namespace {

const QString kCompressCaption = QStringLiteral("圧縮ファイルの保存先を指定してください：");

constexpr int kFolderListMinHeight = 120;
constexpr int kFolderListExtraHeight = 140;

} // namespace

QString default_archive_name(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyMMddHHmmss"));
}

dir_selectFrm::dir_selectFrm(QRV_Public& session, const Platform& platform, QWidget* owner)
    : QDialog(owner), m_session(session), m_platform(platform)
{
    setObjectName(QStringLiteral("dir_selectFrm"));
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setModal(true);
    build_controls();
    Form_Load();
    // The folder list starts tall; on a small room (a scaled screen) it may give up height.
    resize(sizeHint() + QSize(0, kFolderListExtraHeight));
}

void dir_selectFrm::build_controls()
{
    auto* root = new QVBoxLayout(this);

    m_fra_file = named(new QGroupBox(QStringLiteral("保存ファイル名を入力してください："), this),
                       "fra_file");
    auto* fileLayout = new QVBoxLayout(m_fra_file);
    auto* nameRow = new QHBoxLayout;
    m_txt_filename = named(new QLineEdit(m_fra_file), "txt_filename");
    m_txt_filename->setAccessibleName(m_fra_file->title());
    nameRow->addWidget(m_txt_filename, 1);
    nameRow->addWidget(named(new QLabel(QStringLiteral(".LZH"), m_fra_file), "Label1"));
    fileLayout->addLayout(nameRow);
    fileLayout->addWidget(
        named(new QLabel(QStringLiteral("※初期値は日付(年月日時分秒です)"), m_fra_file), "Label2"));
    root->addWidget(m_fra_file);

    m_drive1 = named(new QComboBox(this), "Drive1");
    m_drive1->setAccessibleName(QStringLiteral("ドライブ"));
    root->addWidget(m_drive1);

    m_fra_dir = named(new QGroupBox(kCompressCaption, this), "fra_dir");
    auto* dirLayout = new QVBoxLayout(m_fra_dir);
    m_command1 = named(new QToolButton(m_fra_dir), "Command1");
    m_command1->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    m_command1->setToolTip(QStringLiteral("新規フォルダの作成"));
    m_command1->setAccessibleName(m_command1->toolTip());
    dirLayout->addWidget(m_command1);
    m_dir1 = new FolderList(*m_platform.files, m_fra_dir);
    m_dir1->setMinimumSize(360, kFolderListMinHeight);
    dirLayout->addWidget(m_dir1, 1);
    m_lbl_path = named(new QLabel(m_fra_dir), "lbl_path");
    m_lbl_path->setWordWrap(true);
    m_lbl_path->setAccessibleDescription(QStringLiteral("選択されたフォルダ"));
    dirLayout->addWidget(m_lbl_path);
    root->addWidget(m_fra_dir, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cmd_ok = named(new QPushButton(QStringLiteral("設定(&O)"), this), "cmd_ok");
    m_cmd_cansel = named(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this), "cmd_cansel");
    m_cmd_ok->setAutoDefault(false);
    m_cmd_cansel->setAutoDefault(false);
    m_cmd_ok->setDefault(true); // Enter confirms, Esc cancels
    buttons->addWidget(m_cmd_ok);
    buttons->addWidget(m_cmd_cansel);
    root->addLayout(buttons);

    m_cmd_ok->installEventFilter(this);
    m_txt_filename->installEventFilter(this);
    connect(m_cmd_ok, &QPushButton::clicked, this, &dir_selectFrm::cmd_ok_Click);
    connect(m_cmd_cansel, &QPushButton::clicked, this, &dir_selectFrm::cmd_cansel_Click);
    connect(m_command1, &QToolButton::clicked, this, &dir_selectFrm::Command1_Click);
    connect(m_dir1, &FolderList::path_changed, this, &dir_selectFrm::Dir1_Change);
}

void dir_selectFrm::Form_Load()
{
    // The start root takes the place of drive C:.
    {
        const QSignalBlocker block(m_drive1);
        if (m_platform.roots) {
            for (const Root& r : m_platform.roots->roots())
                m_drive1->addItem(r.display_text(), r.path.text());
        }
        m_drive1->setCurrentIndex(m_drive1->count() > 0 ? 0 : -1);
    }
    {
        const QSignalBlocker block(m_dir1);
        m_dir1->set_root(Path(m_drive1->currentData().toString()));
    }
    connect(m_drive1, &QComboBox::currentIndexChanged, this, &dir_selectFrm::Drive1_Change);
    m_lbl_path->clear();
    if (m_platform.clock)
        m_txt_filename->setText(default_archive_name(m_platform.clock->now()));
    switch (m_session.dlg_mode) {
    case DlgMode::Compress:
        m_fra_dir->setTitle(kCompressCaption);
        m_fra_file->setVisible(true);
        break;
    case DlgMode::Copy:
        m_fra_dir->setTitle(QStringLiteral("ファイルのコピー先を指定してください："));
        m_fra_file->setVisible(false);
        break;
    case DlgMode::Move:
        m_fra_dir->setTitle(QStringLiteral("ファイルの移動先を指定してください："));
        m_fra_file->setVisible(false);
        break;
    default:
        break;
    }
    m_fra_dir->setAccessibleName(m_fra_dir->title());
    m_dir1->setAccessibleName(m_fra_dir->title());
    m_fra_file->setAccessibleName(m_fra_file->title());
}

void dir_selectFrm::Drive1_Change()
{
    m_dir1->set_root(Path(m_drive1->currentData().toString()));
}

void dir_selectFrm::show_path()
{
    m_lbl_path->setText(m_dir1->path().readable());
    if (m_platform.yield)
        m_platform.yield->process_pending();
}

void dir_selectFrm::Dir1_Change()
{
    show_path();
}

bool dir_selectFrm::eventFilter(QObject* watched, QEvent* event)
{
    // Queued: the focus comes with a mouse press, and letting events run inside it would
    // handle the release first and lose the click.
    if (event->type() == QEvent::FocusIn && (watched == m_cmd_ok || watched == m_txt_filename))
        QMetaObject::invokeMethod(this, &dir_selectFrm::show_path, Qt::QueuedConnection);
    return QDialog::eventFilter(watched, event);
}

void dir_selectFrm::Command1_Click()
{
    mkdir_Frm dialog(*this);
    dialog.exec();
}

void dir_selectFrm::cmd_cansel_Click()
{
    m_session.dlg_cancel = -1;
    QDialog::reject();
}

void dir_selectFrm::reject()
{
    cmd_cansel_Click();
}

void dir_selectFrm::cmd_ok_Click()
{
    MessageBoxes& messages = *m_platform.messages;
    const QString name = m_txt_filename->text().trimmed();
    if (m_session.dlg_mode == DlgMode::Compress) {
        QString problem;
        if (name.isEmpty())
            problem = QStringLiteral("保存ファイル名を入力してください");
        else if (name.contains(QLatin1Char('.')))
            problem = QStringLiteral("保存ファイル名に拡張子(LZH)や") + kCrLf +
                      QStringLiteral("ピリオド( . )を入力しないでください ");
        if (!problem.isEmpty()) {
            messages.warn(problem);
            m_txt_filename->setFocus();
            return;
        }
    }
    m_session.dlg_cancel = 0;
    m_session.dest_dir = m_dir1->path().without_separator_at_end().with_separator_added();
    m_session.archive_name = Path(name);
    if (m_session.dlg_mode == DlgMode::Compress &&
        m_platform.files->opens_for_reading(m_session.dest_dir + m_session.archive_name +
                                            Path(QStringLiteral(".LZH"))) &&
        !messages.confirm(QStringLiteral("入力されたファイル名は既に存在してします") + kCrLf +
                          QStringLiteral("上書きしますか")))
        return;
    accept();
}

} // namespace pelmora

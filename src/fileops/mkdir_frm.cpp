// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/mkdir_frm.h"

#include "base/path.h"
#include "fileops/dir_select_frm.h"
#include "fileops/folder_list.h"
#include "ports/event_yield.h"
#include "ports/file_system.h"
#include "ports/message_box.h"
#include "ports/platform.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelmora {

namespace {
const QString kEnterName = QStringLiteral("作成するフォルダ名を入力してください");
} // namespace

mkdir_Frm::mkdir_Frm(dir_selectFrm& chooser) : QDialog(&chooser), m_chooser(chooser)
{
    setObjectName(QStringLiteral("mkdir_Frm"));
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setModal(true);
    auto* root = new QVBoxLayout(this);
    auto* frame = new QGroupBox(kEnterName, this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* frameLayout = new QVBoxLayout(frame);
    m_txt_folder = new QLineEdit(frame);
    m_txt_folder->setObjectName(QStringLiteral("txt_folder"));
    m_txt_folder->setAccessibleName(kEnterName);
    frame->setAccessibleName(kEnterName);
    frameLayout->addWidget(m_txt_folder);
    root->addWidget(frame);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("作成(&M)"), this);
    ok->setObjectName(QStringLiteral("cmd_ok"));
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);
    cancel->setObjectName(QStringLiteral("cmd_cancel"));
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    ok->setDefault(true); // Enter creates, Esc cancels
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    root->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &mkdir_Frm::cmd_ok_Click);
    connect(cancel, &QPushButton::clicked, this, &mkdir_Frm::cmd_cancel_Click);
    m_txt_folder->clear();
}

Path mkdir_Frm::new_folder_path() const
{
    return m_chooser.Dir1().path().child(m_txt_folder->text().trimmed());
}

void mkdir_Frm::cmd_cancel_Click()
{
    m_txt_folder->clear();
    m_chooser.platform().yield->process_pending();
    reject();
}

void mkdir_Frm::cmd_ok_Click()
{
    MessageBoxes& messages = *m_chooser.platform().messages;
    if (m_txt_folder->text().trimmed().isEmpty()) {
        messages.warn(kEnterName);
        m_txt_folder->setFocus();
        return;
    }
    // One level only: an existing folder or a name the file system refuses is a failure.
    if (!m_chooser.platform().files->make_folder(new_folder_path())) {
        messages.warn(QStringLiteral("フォルダの作成に失敗しました"));
        return;
    }
    FolderList& dir1 = m_chooser.Dir1();
    dir1.refresh();
    dir1.set_path(new_folder_path());
    m_chooser.lbl_path().setText(dir1.path().readable());
    m_chooser.platform().yield->process_pending();
    accept();
}

} // namespace pelmora

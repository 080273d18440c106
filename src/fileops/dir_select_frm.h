// SPDX-License-Identifier: GPL-3.0-or-later
// The destination chooser: a root and a folder for copy, move or compression, and the
// archive base name for a compression. Results go back through the session's dlg_cancel,
// dest_dir and archive_name; every opening starts afresh.
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace pelmora {

struct Platform;
struct QRV_Public;
class FolderList;

class dir_selectFrm final : public QDialog
{
    Q_OBJECT
public:
    dir_selectFrm(QRV_Public& session, const Platform& platform, QWidget* owner = nullptr);

    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();
    void cmd_ok_Click();
    void cmd_cansel_Click();

    FolderList& Dir1() const { return *m_dir1; }
    QLabel& lbl_path() const { return *m_lbl_path; }
    const Platform& platform() const { return m_platform; }

    // Closing by the window frame or Escape counts as Cancel.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void build_controls();
    void show_path();

    QRV_Public& m_session;
    const Platform& m_platform;
    QGroupBox* m_fra_file = nullptr;
    QLineEdit* m_txt_filename = nullptr;
    QGroupBox* m_fra_dir = nullptr;
    QComboBox* m_drive1 = nullptr;
    FolderList* m_dir1 = nullptr;
    QLabel* m_lbl_path = nullptr;
    QToolButton* m_command1 = nullptr;
    QPushButton* m_cmd_ok = nullptr;
    QPushButton* m_cmd_cansel = nullptr;
};

// "yymmddhhnnss": the default archive name.
QString default_archive_name(const QDateTime& t);

} // namespace pelmora

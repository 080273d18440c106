// SPDX-License-Identifier: GPL-3.0-or-later
// The new-folder dialog over the destination chooser: creates one folder inside the
// chooser's open folder and opens it there.
#pragma once

#include "base/path.h"

#include <QDialog>

class QLineEdit;

namespace pelmora {

class dir_selectFrm;

class mkdir_Frm final : public QDialog
{
    Q_OBJECT
public:
    explicit mkdir_Frm(dir_selectFrm& chooser);

    void cmd_ok_Click();
    void cmd_cancel_Click();

private:
    Path new_folder_path() const;

    dir_selectFrm& m_chooser;
    QLineEdit* m_txt_folder = nullptr;
};

} // namespace pelmora

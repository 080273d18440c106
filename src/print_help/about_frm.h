// SPDX-License-Identifier: GPL-3.0-or-later
// The About window "バージョン情報": shown without blocking, at most one at a time, destroyed
// by its OK button.
#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;

namespace pelmora {

class About_Frm final : public QDialog
{
    Q_OBJECT

public:
    // No owner window: the main window stays usable while it is open.
    About_Frm();

private Q_SLOTS:
    void Command1_Click();
};

// Keeps the one About window: the first show() creates it, later ones bring it to the
// front; after OK the next show() creates a fresh one.
class AboutLauncher final
{
public:
    AboutLauncher() = default;
    ~AboutLauncher();
    Q_DISABLE_COPY_MOVE(AboutLauncher)

    About_Frm* show();
    About_Frm* window() const { return m_window; }

private:
    QPointer<About_Frm> m_window;
};

} // namespace pelmora

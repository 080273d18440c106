// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window.h"

#include "catalogue/catalogue.h"
#include "catalogue/result_table_model.h"
#include "fileops/undo_manager.h"
#include "ports/event_yield.h"
#include "ports/folder_enumerator.h"
#include "ports/platform.h"
#include "ports/roots.h"
#include "print_help/about_frm.h"
#include "selection/preview_pane.h"
#include "session/history_log.h"
#include "session/session.h"
#include "window/fileops_controller.h"
#include "window/grid_setup.h"
#include "window/rireki_frm.h"
#include "window/wait_frm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QTimer>

namespace pelmora {

namespace {
constexpr int kBlinkIntervalMs = 500;
constexpr int kBlinkEnd = 9; // eight ticks: blue, face, ... face

// The room the screen leaves for the window, less what a window frame takes around it.
QSize initial_room()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {1000, 680};
    return screen->availableSize() - QSize(24, 56);
}
} // namespace

QRV_Main::QRV_Main(QRV_Public& session, const Platform& platform, QWidget* parent)
    : QMainWindow(parent), m_session(session), m_platform(platform),
      m_results(std::make_unique<ResultTableModel>()),
      m_history(std::make_unique<HistoryLog>(*platform.clock))
{
    setObjectName(QStringLiteral("QRV_Main"));
    setWindowTitle(QStringLiteral("PelmoraVer1.1"));
    m_catalogue = std::make_unique<Catalogue>(m_session, *m_results, *platform.folders,
                                              static_cast<CatalogueView&>(*this),
                                              static_cast<MainView&>(*this));
    build_controls();
    build_menus();
    m_results->set_palette(palette());
    m_wait = new Wait_Frm(this);
    m_rireki = new rireki_Frm(*m_history, this);
    m_undo = new UndoManager(m_session.undo, platform.archive_files, this);
    // The one place p_undo follows whether there is something to undo.
    connect(m_undo, &UndoManager::available, p_undo, &QAction::setEnabled);
    m_fileops = new FileOpsController(m_session, *m_history, m_platform,
                                      FileOpsMenu{p_filecopy, p_filemove, p_dust, p_lha, p_undo},
                                      *this, *m_undo, this, this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &QRV_Main::Timer1_Timer);
    set_refresh_button_color(wincolor::InactiveBorder);

    connect_selection();
    connect_filter();
    connect_print_help();
    connect(m_catalogue.get(), &Catalogue::listing_finished, this, &QRV_Main::on_listing_finished);
    connect(Command1, &QPushButton::clicked, this, &QRV_Main::Command1_Click);
    connect(cmd_open, &QPushButton::clicked, this, &QRV_Main::cmd_open_Click);
    for (QRadioButton* b : opt)
        connect(b, &QRadioButton::clicked, this, &QRV_Main::opt_Click);
    connect(cmd_end, &QPushButton::clicked, this, &QRV_Main::cmd_end_Click);
    connect(p_end, &QAction::triggered, this, &QRV_Main::p_end_Click);
    connect(p_rireki, &QAction::triggered, this, &QRV_Main::p_rireki_Click);
    // F5 is Refresh, as in every file list; not while the button is off.
    auto* refresh = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(refresh, &QShortcut::activated, this, [this] {
        if (Command1->isEnabled())
            Command1->click();
    });

    fill_root_list();
    connect(dir1, &QComboBox::currentIndexChanged, this, &QRV_Main::dir1_Change);
    // Fits a 1024x768 screen with its frame and a panel; nothing is remembered between runs.
    resize(QSize(1000, 680).boundedTo(initial_room()));
}

QRV_Main::~QRV_Main()
{
    m_catalogue->cancel_scan();
}

void QRV_Main::fill_root_list()
{
    const QSignalBlocker block(dir1);
    dir1->clear();
    for (const Root& r : m_platform.roots->roots())
        dir1->addItem(r.display_text(), r.path.text());
    // Nothing is chosen until the load handler picks the start root.
    dir1->setCurrentIndex(-1);
}

Path QRV_Main::current_root() const
{
    return Path(dir1->currentData().toString());
}

void QRV_Main::set_current_root(const Path& root)
{
    const int i = dir1->findData(root.text());
    if (i >= 0)
        dir1->setCurrentIndex(i);
}

bool QRV_Main::single_mode() const
{
    return opt_f[0]->isChecked();
}

QAction* QRV_Main::menu_item(const char* name) const
{
    const QLatin1String wanted(name);
    for (QAction* a :
         {p_print, p_end, p_filemove, p_filecopy, p_dust, p_lha, p_rireki, p_undo, p_use, p_ver}) {
        if (a != nullptr && a->objectName() == wanted)
            return a;
    }
    return nullptr;
}

void QRV_Main::Form_Load()
{
    show_wait(true);
    m_platform.yield->process_pending();
    Label_Count->setText(QStringLiteral("0"));
    Label_CurrentPath->setText(QString());
    type_revert = 0;
    m_session.reset_for_start();
    for (QAction* a : {p_lha, p_filemove, p_filecopy, p_dust, p_undo})
        a->setEnabled(false);
    m_catalogue->set_suffix_filter(Text_Sufix->text());
    m_results->clear();
    set_folder_column_width(kFolderColumnTwips);
    m_history->reset_history_grid();
    // The home folder stands first in the list and takes the place of the start drive.
    if (dir1->count() > 0)
        dir1->setCurrentIndex(0);
    if (m_session.drive_listed == 0)
        dir1_Change();
    // A listing that came from the cache closed the wait window itself; a scan closes it
    // when it ends.
    if (!m_catalogue->scanning())
        show_wait(false);
}

void QRV_Main::dir1_Change()
{
    if (m_ending)
        return;
    m_catalogue->set_suffix_filter(Text_Sufix->text());
    drop_filter();
    m_catalogue->list_drive(current_root());
}

void QRV_Main::cmd_end_Click()
{
    end_program();
}

void QRV_Main::p_end_Click()
{
    end_program();
}

void QRV_Main::end_program()
{
    if (m_ending)
        return;
    m_ending = true;
    // Ends at once: a running scan is stopped, nothing is asked or saved.
    m_catalogue->cancel_scan();
    m_wait->hide();
    Q_EMIT end_requested();
}

void QRV_Main::closeEvent(QCloseEvent* event)
{
    event->accept();
    end_program();
}

void QRV_Main::p_rireki_Click()
{
    m_rireki->exec();
}

void QRV_Main::set_commands_enabled(bool on)
{
    // While a file command runs, nothing may start another one or rescan under it; each
    // control gets back the state it had, since selection decides some of them.
    QWidget* const starters[] = {menuBar(), Command1, cmd_open, opt[0], opt[1], dir1};
    if (!on) {
        m_starter_states.clear();
        for (QWidget* w : starters) {
            m_starter_states.push_back(w->isEnabled());
            w->setEnabled(false);
        }
        return;
    }
    for (std::size_t i = 0; i < m_starter_states.size() && i < std::size(starters); ++i)
        starters[i]->setEnabled(m_starter_states[i]);
    m_starter_states.clear();
}

void QRV_Main::start_blink()
{
    m_session.blink_count = 1;
    Timer1->start(kBlinkIntervalMs);
}

void QRV_Main::Timer1_Timer()
{
    set_refresh_button_color(m_session.blink_count % 2 == 1 ? wincolor::BlinkBlue
                                                            : wincolor::ButtonFace);
    m_session.blink_count += 1;
    if (m_session.blink_count == kBlinkEnd) {
        m_session.blink_count = 1;
        Timer1->stop();
    }
}

void QRV_Main::set_refresh_button_color(WinColor c)
{
    m_command1Color = c;
    // Only the enabled look takes the colour: a switched-off button keeps the disabled look.
    QPalette p = Command1->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Button, to_qcolor(c, palette()));
        p.setColor(group, QPalette::ButtonText,
                   c == wincolor::BlinkBlue ? QColor(Qt::white)
                                            : palette().color(group, QPalette::ButtonText));
    }
    p.setColor(QPalette::Disabled, QPalette::Button,
               palette().color(QPalette::Disabled, QPalette::Button));
    p.setColor(QPalette::Disabled, QPalette::ButtonText,
               palette().color(QPalette::Disabled, QPalette::ButtonText));
    Command1->setPalette(p);
    Command1->setProperty("backColor", QVariant::fromValue(c));
}

// CatalogueView

void QRV_Main::set_count_text(const QString& text)
{
    Label_Count->setText(text);
}

void QRV_Main::set_current_path(const QString& path)
{
    Label_CurrentPath->setText(path);
}

void QRV_Main::set_busy_pointer(bool busy)
{
    if (busy) {
        if (m_busyDepth++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busyDepth > 0 && --m_busyDepth == 0) {
        QApplication::restoreOverrideCursor();
    }
}

void QRV_Main::show_wait(bool shown)
{
    if (!shown) {
        m_wait->hide();
        return;
    }
    if (isVisible())
        m_wait->move(geometry().center() - m_wait->rect().center());
    m_wait->show();
    m_wait->raise();
}

void QRV_Main::clear_preview_labels()
{
    lbl_filename->clear();
    lbl_lastup->clear();
}

void QRV_Main::set_grid_redraw(bool on)
{
    grd1->setUpdatesEnabled(on);
}

void QRV_Main::set_folder_column_width(int twips)
{
    m_folderColumn->set_twips(twips);
}

} // namespace pelmora

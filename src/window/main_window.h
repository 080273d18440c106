// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: type and mode choices, the root list, the result grid, the preview frame,
// the buttons and menus. Its handlers carry the design's names (control + "_" + event).
#pragma once

#include "base/path.h"
#include "catalogue/catalogue_view.h"
#include "session/main_view.h"
#include "session/win_color.h"

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTableView;
class QTimer;

namespace pelmora {

struct Platform;
struct QRV_Public;
class Catalogue;
class FileOpsController;
class UndoManager;
class HistoryLog;
class ResultTableModel;
class Wait_Frm;
class GridSelection;
class PreviewPane;
class AboutLauncher;
class GridFilter;
class rireki_Frm;
class StretchColumn;

class QRV_Main final : public QMainWindow, public MainView, private CatalogueView
{
    Q_OBJECT
public:
    QRV_Main(QRV_Public& session, const Platform& platform, QWidget* parent = nullptr);
    ~QRV_Main() override;

    // Runs once when the program starts: start values, empty history, first listing.
    void Form_Load();

    void cmd_end_Click();
    void p_end_Click();
    void p_rireki_Click();
    void dir1_Change();
    // Refresh button: rescans the root shown and replaces its remembered list.
    void Command1_Click();
    // Either document-type button: asks, then lists the root for the new type.
    void opt_Click();
    void cmd_open_Click();
    void p_print_Click();
    void p_use_Click();
    void p_ver_Click();
    void Timer1_Timer();

    // MainView
    // The hourglass, for as many callers as currently ask for it (a copy may run during a scan).
    void set_busy_pointer(bool busy) override;
    void show_wait(bool shown) override;
    void set_grid_redraw(bool on) override;
    void set_commands_enabled(bool on) override;
    // Starts (or restarts) the Refresh button's blink: eight ticks, 500 ms apart.
    void start_blink() override;
    // Single selection is on exactly when the first mode button is.
    bool single_mode() const override;

    // The root shown in the root list, ending with "/".
    Path current_root() const;
    void set_current_root(const Path& root);

    // A menu item by its design name ("p_filecopy", "p_undo", ...), for tests and scripting;
    // the window's own wiring uses the items directly.
    QAction* menu_item(const char* name) const;

    QRV_Public& session() { return m_session; }
    HistoryLog& history() { return *m_history; }
    ResultTableModel& results() { return *m_results; }
    Catalogue& catalogue() { return *m_catalogue; }
    const Platform& platform() const { return m_platform; }
    rireki_Frm& history_window() { return *m_rireki; }
    GridSelection& selection() { return *m_selection; }
    PreviewPane& preview() { return *m_preview; }
    Wait_Frm& wait_window() { return *m_wait; }
    FileOpsController& file_ops() { return *m_fileops; }
    // Colour value the Refresh button shows now.
    WinColor refresh_button_color() const { return m_command1Color; }

Q_SIGNALS:
    // The user asked to end the program; whoever runs the event loop ends it.
    void end_requested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // CatalogueView
    void set_count_text(const QString& text) override;
    void set_current_path(const QString& path) override;
    void clear_preview_labels() override;
    void set_folder_column_width(int twips) override;

    void build_controls();
    void build_menus();
    void fill_root_list();
    void set_refresh_button_color(WinColor c);
    void end_program();
    void connect_selection();
    void connect_print_help();
    void on_listing_finished(bool wasRefresh);
    // Double-click or Enter on a row: what the Open button does.
    void open_from_grid();
    void show_row_menu(const QPoint& at);
    // The filter box: wiring, and its end when a new listing begins.
    void connect_filter();
    void drop_filter();
    void on_filter_applied(qsizetype shown, qsizetype total);
    // The clicked row follows its file when the rows are sorted or filtered.
    void before_rows_regroup();
    void after_rows_regroup();

    QRV_Public& m_session;
    const Platform& m_platform;
    std::unique_ptr<ResultTableModel> m_results;
    std::unique_ptr<HistoryLog> m_history;
    std::unique_ptr<Catalogue> m_catalogue;
    UndoManager* m_undo = nullptr;          // the journal, kept archives, p_undo's state
    FileOpsController* m_fileops = nullptr; // copy, move, trash, undo
    rireki_Frm* m_rireki = nullptr;
    std::unique_ptr<PreviewPane> m_preview;
    GridSelection* m_selection = nullptr;
    std::unique_ptr<AboutLauncher> m_about;
    Wait_Frm* m_wait = nullptr;
    StretchColumn* m_folderColumn = nullptr; // the folder column of grd1
    GridFilter* m_filter = nullptr;
    std::int64_t m_clickedHit = -1; // hit of cur_row across a sort or filter; -1: none
    bool m_clickedHidden = false;   // the filter hides it; cur_row is 0 meanwhile

    QGroupBox* fra_type = nullptr;
    QRadioButton* opt[2] = {};
    QLineEdit* Text_Sufix = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* dir1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QRadioButton* opt_f[2] = {};
    QLineEdit* txt_filter = nullptr;
    QTableView* grd1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label_Count = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label_CurrentPath = nullptr;
    QLabel* lbl_marked = nullptr; // how many files multiple mode has marked
    QPushButton* Command1 = nullptr;
    QPushButton* cmd_open = nullptr;
    QPushButton* cmd_end = nullptr;
    QGroupBox* Frame2 = nullptr;
    QCheckBox* chk = nullptr;
    std::vector<bool> m_starter_states; // controls switched off while a command runs
    QLabel* OLE1 = nullptr;
    QLabel* lbl_filename = nullptr;
    QLabel* lbl_lastup = nullptr;
    QTimer* Timer1 = nullptr;

    QAction* p_print = nullptr;
    QAction* p_end = nullptr;
    QAction* p_filemove = nullptr;
    QAction* p_filecopy = nullptr;
    QAction* p_dust = nullptr;
    QAction* p_lha = nullptr;
    QAction* p_rireki = nullptr;
    QAction* p_undo = nullptr;
    QAction* p_use = nullptr;
    QAction* p_ver = nullptr;

    WinColor m_command1Color = wincolor::InactiveBorder;
    int type_revert = 0; // swallows the click that puts the type buttons back
    int m_busyDepth = 0;
    bool m_ending = false;
};

} // namespace pelmora

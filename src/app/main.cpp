// SPDX-License-Identifier: GPL-3.0-or-later
// Pelmora: finds every Excel workbook or Word document on a drive and manages them.
#include "backends/desktop/desktop_opener.h"
#include "backends/help/qt_help_viewer.h"
#include "backends/posix/freedesktop_trash.h"
#include "backends/posix/mount_roots.h"
#include "backends/posix/posix_archive_files.h"
#include "backends/posix/posix_file_system.h"
#include "backends/posix/posix_folder_enumerator.h"
#include "backends/posix/posix_shell.h"
#include "backends/posix/stale_files.h"
#include "backends/preview/libreoffice_preview_renderer.h"
#include "backends/printer/qt_printer.h"
#include "backends/qt/qt_copy_progress.h"
#include "backends/qt/qt_event_yield.h"
#include "backends/qt/qt_message_box.h"
#include "backends/unlha/unlha_archiver.h"
#include "ports/clock.h"
#include "ports/platform.h"
#include "session/session.h"
#include "window/command_line.h"
#include "window/main_window.h"
#include "window/screen_fit.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QPointer>
#include <QStyleFactory>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>

namespace {

// A dialog that opens takes the keyboard, and the window it was opened from gets it back when
// it closes, so that everything can be used without the mouse even where no window manager
// moves the focus between windows.
class ActivateOpenedDialogs final : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool shown = event->type() == QEvent::Show;
        if (shown || event->type() == QEvent::Hide) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog && dialog->isWindow() && dialog->isModal()) {
                QWidget* next = shown ? dialog : dialog->parentWidget();
                if (next)
                    QTimer::singleShot(0, next->window(), [w = QPointer<QWidget>(next->window())] {
                        // Only the window that takes input now: the top modal one, if any.
                        const QWidget* modal = QApplication::activeModalWidget();
                        if (w && w->isVisible() && (!modal || modal == w))
                            w->activateWindow();
                    });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    // Before QApplication, so that --help and --version work without a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const pelmora::CommandLineAction action = pelmora::parse_command_line(arguments);
    if (!action.open_window) {
        QTextStream(action.to_stderr ? stderr : stdout) << action.output;
        return action.exit_code;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pelmora"));
    // No display name: the window system would append it to every title, and each window
    // carries its exact title itself. The desktop file name ties the windows to the entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("pelmora"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("pelmora"), QIcon(QStringLiteral(":/icons/pelmora.svg"))));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // Qt's own texts (the text-box menu, scroll bars, file dialogs) speak Japanese like ours,
    // whatever the locale; without the translations installed they stay English.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    // A proportional Japanese Gothic face for every caption.
    QFont font(QStringList{QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
                           QStringLiteral("IPAGothic")},
               10);
    QApplication::setFont(font);
    ActivateOpenedDialogs activateDialogs;
    app.installEventFilter(&activateDialogs);
    pelmora::FitShownWindows fitWindows;
    app.installEventFilter(&fitWindows);

    pelmora::SystemClock clock;
    pelmora::QtEventYield yield;
    pelmora::QtMessageBoxes messages;
    pelmora::MountRootProvider roots;
    pelmora::PosixFolderEnumeratorFactory folders;
    pelmora::QtPrinterFactory printers;
    pelmora::QtHelpViewer help;
    pelmora::LibreOfficePreviewRenderer preview;
    pelmora::DesktopOpener opener;
    pelmora::QtCopyProgressFactory progress;
    pelmora::PosixShell shell(messages, &progress);
    shell.set_event_yield(&yield);
    pelmora::PosixFileSystem files;
    pelmora::UnlhaArchiver archiver;
    pelmora::PosixArchiveFiles archiveFiles;
    // List files a killed run of ours left behind (its other leftovers go when a later command
    // writes into their folder).
    pelmora::remove_stale_files(pelmora::temp_folder());
    // An info entry a killed run wrote for a file it never moved.
    pelmora::FreedesktopTrash::clear_interrupted(pelmora::home_trash_folder());
    pelmora::Platform platform;
    platform.messages = &messages;
    platform.clock = &clock;
    platform.yield = &yield;
    platform.roots = &roots;
    platform.folders = &folders;
    platform.printers = &printers;
    platform.help = &help;
    platform.preview = &preview;
    platform.opener = &opener;
    platform.shell = &shell;
    platform.files = &files;
    platform.archiver = &archiver;
    platform.archive_files = &archiveFiles;

    pelmora::QRV_Public session;
    pelmora::QRV_Main window(session, platform);
    messages.set_owner(&window);
    progress.set_owner(&window);
    QObject::connect(&window, &pelmora::QRV_Main::end_requested, &app,
                     [] { QCoreApplication::exit(0); });
    window.show();
    // Keyboard input goes to the window from the start, also where no window manager
    // hands it the focus.
    window.activateWindow();
    window.Form_Load();
    return QApplication::exec();
}

// Pelmora: finds every Excel workbook or Word document on a drive and manages them.
#include "app/session/session.h"
#include "app/window/main_window.h"
#include "platform/clock.h"
#include "platform/desktop_opener.h"
#include "platform/libreoffice_preview_renderer.h"
#include "platform/mount_roots.h"
#include "platform/platform.h"
#include "platform/posix_folder_enumerator.h"
#include "platform/posix_shell.h"
#include "platform/qt_copy_progress.h"
#include "platform/qt_event_yield.h"
#include "platform/qt_help_viewer.h"
#include "platform/qt_message_box.h"
#include "platform/qt_printer.h"
#include "platform/unlha_archiver.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pelmora"));
    QApplication::setApplicationDisplayName(QStringLiteral("PelmoraVer1.1"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // A proportional Japanese Gothic face for every caption.
    QFont font(QStringList{QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
                           QStringLiteral("IPAGothic")},
               10);
    QApplication::setFont(font);

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
    pelmora::UnlhaArchiver archiver;
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
    platform.archiver = &archiver;

    pelmora::QRV_Public session;
    pelmora::QRV_Main window(session, platform);
    messages.set_owner(&window);
    progress.set_owner(&window);
    QObject::connect(&window, &pelmora::QRV_Main::end_requested, &app,
                     [] { QCoreApplication::exit(0); });
    window.show();
    window.Form_Load();
    return QApplication::exec();
}

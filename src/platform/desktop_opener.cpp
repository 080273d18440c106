#include "platform/desktop_opener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QUrl>

namespace pelmora {

namespace {
Q_LOGGING_CATEGORY(lcOpener, "pelmora.opener")
}

bool DesktopOpener::open(const QString& path)
{
    // xdg-open reports success for nearly anything, so refuse what cannot be opened here.
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.exists()) {
        qCInfo(lcOpener) << "not found:" << path;
        return false;
    }
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        qCWarning(lcOpener) << "no QGuiApplication, cannot reach the desktop";
        return false;
    }
    const bool accepted = QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
    if (!accepted)
        qCInfo(lcOpener) << "desktop refused:" << info.absoluteFilePath();
    return accepted;
}

} // namespace pelmora

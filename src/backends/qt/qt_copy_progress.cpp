// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/qt/qt_copy_progress.h"

#include "ports/message_box.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace pelmora {

namespace {

// The dialog counts in KiB so sizes past 2 GiB fit its int range.
class QtCopyProgress final : public CopyProgress
{
public:
    QtCopyProgress(QWidget* owner, const Path& src, const Path& dst, qint64 total, Transfer kind)
        : m_dialog(owner)
    {
        m_dialog.setWindowTitle(QString::fromUtf8(kAppTitle));
        m_dialog.setLabelText(Path(src.name()).readable() + QStringLiteral(" を ") +
                              dst.folder().readable() +
                              (kind == Transfer::Move ? QStringLiteral(" へ移動しています")
                                                      : QStringLiteral(" へコピーしています")));
        m_dialog.setCancelButtonText(QStringLiteral("ｷｬﾝｾﾙ(&C)"));
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(QtCopyProgressFactory::kShowAfterMs);
        m_dialog.setAutoReset(false);
        m_dialog.setAutoClose(false);
        m_dialog.setRange(0, int(total / 1024));
        m_dialog.setValue(0);
    }

    bool update(qint64 done, qint64 /*total*/) override
    {
        m_dialog.setValue(int(done / 1024));
        // Lets the Cancel button be pressed while the dialog is still hidden, too.
        QCoreApplication::processEvents();
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
};

} // namespace

std::unique_ptr<CopyProgress> QtCopyProgressFactory::begin(const Path& src, const Path& dst,
                                                           qint64 total, Transfer kind)
{
    return std::make_unique<QtCopyProgress>(m_owner.data(), src, dst, total, kind);
}

} // namespace pelmora

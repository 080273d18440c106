// SPDX-License-Identifier: GPL-3.0-or-later
// One scan of a root, run off the user-interface thread. Hits travel to the receiver's
// thread in batches (at most every batch interval), so the window stays responsive and the
// grid is never touched per hit. Destroying the job stops the walk and waits for it.
// readers: threads reading folders ahead of the walk; -1 takes the default pool.
#pragma once

#include "ports/folder_enumerator.h"
#include "session/result_cache.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace pelmora {

struct ScanProgress
{
    HitList hits;          // new hits since the last batch
    QString currentFolder; // the folder being read now; empty once the walk is over
    bool finished = false; // the last batch of a walk that ran to its end
};

class ScanJob final
{
    Q_DISABLE_COPY_MOVE(ScanJob)
public:
    using Deliver = std::function<void(ScanProgress&&)>;

    // deliver runs on context's thread, never after the job was destroyed.
    ScanJob(std::unique_ptr<FolderEnumerator> enumerator, std::string root, QString suffix,
            QObject* context, Deliver deliver,
            std::chrono::milliseconds batchInterval = std::chrono::milliseconds(150),
            int readers = -1);
    ~ScanJob();

private:
    void run();

    std::unique_ptr<FolderEnumerator> m_enumerator;
    std::string m_root;
    QString m_suffix;
    QPointer<QObject> m_context;
    std::shared_ptr<Deliver> m_deliver;
    std::shared_ptr<std::atomic<bool>> m_alive;
    std::chrono::milliseconds m_interval;
    int m_readers;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};

} // namespace pelmora

// SPDX-License-Identifier: GPL-3.0-or-later
// Removal of our temporary folders: after the process group that used one is gone (a killed
// office's profile can take longer to delete than the window may stall, so that runs on a
// worker thread, joined once done), and at start-up for folders a previous run left behind.
#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace pelmora {

class FolderCleaner final
{
public:
    FolderCleaner() = default;
    ~FolderCleaner(); // waits for removals under way
    FolderCleaner(const FolderCleaner&) = delete;
    FolderCleaner& operator=(const FolderCleaner&) = delete;

    // Removes path once no process of the group led by leader runs (at most ~5 s later).
    void discard_after(const QString& path, qint64 leader);
    // Removals still running.
    int pending();

private:
    struct Job
    {
        std::jthread thread;
        std::atomic<bool> done = false;
    };
    void join_finished();
    std::vector<std::unique_ptr<Job>> m_jobs;
};

// Writes the owner mark into a fresh temporary folder of ours.
bool mark_owner(const QString& dir);
// Removes folders under temp_root whose names start with prefix and whose owner is no longer
// running (or that carry no owner mark and are older than a minute). Only folders owned by
// this user are touched. Returns how many were removed.
int remove_stale_folders(const QString& temp_root, const QString& prefix);

} // namespace pelmora

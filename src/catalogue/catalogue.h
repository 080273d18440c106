// SPDX-License-Identifier: GPL-3.0-or-later
// Listing a root: from the cache when that root and type were listed before, by a scan
// otherwise; and the Refresh rescan that replaces the cached list. A listing started while a
// scan runs cancels that scan first, and a cancelled scan leaves nothing in any cache key.
#pragma once

#include "base/path.h"
#include "catalogue/scan_job.h"

#include <QObject>
#include <memory>

namespace pelmora {

struct QRV_Public;
class ResultTableModel;
class CatalogueView;
class MainView;
class FolderEnumeratorFactory;

inline constexpr int kNameColumnTwips = 2500;
inline constexpr int kFolderColumnTwips = 3500;
inline constexpr int kRefreshFolderColumnTwips = 2500;

class Catalogue final : public QObject
{
    Q_OBJECT
public:
    Catalogue(QRV_Public& session, ResultTableModel& grid, FolderEnumeratorFactory& folders,
              CatalogueView& view, MainView& window, QObject* parent = nullptr);
    ~Catalogue() override;

    // The suffix filter of the walker ("XLS" or "DOC"), kept with the type letter.
    void set_suffix_filter(const QString& suffix) { m_suffix = suffix; }
    QString suffix_filter() const { return m_suffix; }

    // Drive-change handling of the root list.
    void list_drive(const Path& root);
    // Rescans the root and replaces its cached list, whether or not it had one.
    void refresh_list(const Path& root);

    // True while a listing is not complete yet: a scan runs, or the rows are being sorted.
    bool scanning() const { return bool(m_job) || m_sortPending; }
    void cancel_scan();

    // Hits of the running scan: to the cache key of the scan and to the grid rows.
    void add_hits(HitList&& hits);
    void show_cached_list(const QString& key);

Q_SIGNALS:
    // The grid holds the complete, sorted list (after a cached fill or a finished scan).
    void listing_finished(bool wasRefresh);

private:
    void reset_grid(int folderTwips);
    void start_scan(const Path& root, bool isRefresh);
    void on_progress(ScanProgress&& progress);
    void finish_listing();
    void end_listing();

    QRV_Public& m_session;
    ResultTableModel& m_grid;
    FolderEnumeratorFactory& m_folders;
    CatalogueView& m_view;
    MainView& m_window;
    QString m_suffix = QStringLiteral("XLS");
    std::unique_ptr<ScanJob> m_job;
    QString m_scanKey;
    std::shared_ptr<HitList> m_scanList; // the list the running scan fills
    bool m_sortPending = false;
    bool m_scanIsRefresh = false;
    bool m_waitShown = false;
};

} // namespace pelmora

// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"

#include "catalogue/catalogue_view.h"
#include "catalogue/result_table_model.h"
#include "ports/folder_enumerator.h"
#include "session/session.h"

namespace pelmora {

Catalogue::Catalogue(QRV_Public& session, ResultTableModel& grid, FolderEnumeratorFactory& folders,
                     CatalogueView& view, MainView& window, QObject* parent)
    : QObject(parent), m_session(session), m_grid(grid), m_folders(folders), m_view(view),
      m_window(window)
{}

Catalogue::~Catalogue() = default;

void Catalogue::reset_grid(int folderTwips)
{
    m_grid.clear();
    m_view.set_folder_column_width(folderTwips);
}

void Catalogue::cancel_scan()
{
    m_sortPending = false; // a sort still running belongs to rows about to be replaced
    if (!m_job)
        return;
    m_job.reset(); // stops the walk and waits for it
    m_scanList.reset();
    // Its partial hits belong to no list: the key is as empty as before the scan.
    m_session.cache.clear(m_scanKey);
    m_scanKey.clear();
    m_view.set_current_path(QString());
    m_window.set_grid_redraw(true);
    m_window.set_busy_pointer(false);
    if (m_waitShown) {
        m_window.show_wait(false);
        m_waitShown = false;
    }
}

void Catalogue::list_drive(const Path& root)
{
    cancel_scan();
    if (m_session.drive_listed == 0)
        m_session.drive_listed = 1;
    m_window.set_busy_pointer(true);
    reset_grid(kFolderColumnTwips);
    m_view.set_count_text(QStringLiteral("0"));
    m_session.grid_row = 0;
    m_session.hit_count = 0;
    m_view.clear_preview_labels();
    m_window.show_wait(true);
    m_waitShown = true;

    const QString key = list_key(root.text(), m_session.doc_type);
    if (m_session.cache.has_cached_list(key)) {
        // A remembered list is shown once in order; a scan's rows show as they come.
        m_window.set_grid_redraw(false);
        show_cached_list(key);
        finish_listing();
        return;
    }
    start_scan(root, false);
}

void Catalogue::refresh_list(const Path& root)
{
    cancel_scan();
    m_window.set_busy_pointer(true);
    reset_grid(kRefreshFolderColumnTwips);
    m_view.set_count_text(QStringLiteral("0"));
    m_session.grid_row = 0;
    m_session.cache.clear(list_key(root.text(), m_session.doc_type));
    m_session.hit_count = 0;
    m_view.clear_preview_labels();
    start_scan(root, true);
}

void Catalogue::start_scan(const Path& root, bool isRefresh)
{
    m_scanKey = list_key(root.text(), m_session.doc_type);
    m_session.list_key = m_scanKey;
    m_scanIsRefresh = isRefresh;
    // A key of no list (never the case for a root path) would keep its hits in the grid only.
    m_scanList =
        m_scanKey.isEmpty() ? std::make_shared<HitList>() : m_session.cache.list_for(m_scanKey);
    m_grid.follow_list(m_scanList);
    const std::string rootBytes = root.bytes().toStdString();
    m_job = std::make_unique<ScanJob>(m_folders.for_root(rootBytes), rootBytes, m_suffix, this,
                                      [this](ScanProgress&& p) { on_progress(std::move(p)); });
}

void Catalogue::on_progress(ScanProgress&& progress)
{
    add_hits(std::move(progress.hits));
    m_view.set_current_path(progress.currentFolder);
    if (progress.finished) {
        m_job.reset();
        m_scanList.reset();
        if (!m_scanKey.isEmpty() && !m_session.cache.has_cached_list(m_scanKey))
            m_session.cache.clear(m_scanKey); // nothing found: nothing remembered
        m_scanKey.clear();
        finish_listing();
    }
}

void Catalogue::add_hits(HitList&& hits)
{
    if (hits.empty() || !m_scanList)
        return;
    if (m_session.grid_row == 0)
        m_session.grid_row = 1;
    const auto n = qsizetype(hits.size());
    m_scanList->append(std::move(hits));
    m_grid.show_new_hits();
    m_session.hit_count += n;
    m_session.grid_row += n;
    m_view.set_count_text(QString::number(m_grid.listed_size()));
}

void Catalogue::show_cached_list(const QString& key)
{
    std::shared_ptr<const HitList> list = m_session.cache.shared(key);
    const auto n = qsizetype(list ? list->size() : 0);
    m_view.set_count_text(QString::number(n));
    if (n > 0 && m_session.grid_row == 0)
        m_session.grid_row = 1;
    m_session.grid_row += n;
    m_grid.show_list(std::move(list));
}

void Catalogue::finish_listing()
{
    m_window.set_grid_redraw(true);
    // A large list is sorted off this thread; the listing ends when its rows are in order.
    m_sortPending = true;
    m_grid.sort_by_column(ResultTableModel::FolderColumn, [this] {
        if (m_sortPending) {
            m_sortPending = false;
            end_listing();
        }
    });
}

void Catalogue::end_listing()
{
    m_window.set_busy_pointer(false);
    if (m_waitShown) {
        m_window.show_wait(false);
        m_waitShown = false;
    }
    const bool wasRefresh = m_scanIsRefresh;
    m_scanIsRefresh = false;
    Q_EMIT listing_finished(wasRefresh);
}

} // namespace pelmora

// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/scan_job.h"

#include "base/native_path.h"
#include "catalogue/folder_read_ahead.h"
#include "catalogue/folder_walker.h"

#include <QMetaObject>

namespace pelmora {
namespace {

using Clock = std::chrono::steady_clock;

class BatchingSink final : public WalkSink
{
public:
    using Post = std::function<void(ScanProgress&&)>;
    BatchingSink(Post post, std::chrono::milliseconds interval)
        : m_post(std::move(post)), m_interval(interval), m_last(Clock::now())
    {}

    void folder_started(const std::string& folder) override
    {
        m_current = &folder; // read only while this call runs (flushes happen here)
        m_open.push_back(OpenFolder{&folder, 0, 0});
        maybe_flush();
    }
    void folder_ended() override { m_open.pop_back(); }
    void add_hit(std::string_view name, const std::string&) override
    {
        // The folder goes into the batch once, with its first hit.
        OpenFolder& f = m_open.back();
        if (f.batch != m_batchNumber) {
            f.index = m_batch.hits.add_folder(*f.path);
            f.batch = m_batchNumber;
        }
        m_batch.hits.add(name, f.index);
    }

    void flush(bool finished)
    {
        m_batch.currentFolder = finished || !m_current
                                    ? QString()
                                    : native_path::from_native(std::string_view(*m_current));
        m_batch.finished = finished;
        m_batch.hits.squeeze(); // here, not on the receiver's thread
        m_post(std::move(m_batch));
        m_batch = ScanProgress{};
        ++m_batchNumber;
        m_last = Clock::now();
    }

private:
    void maybe_flush()
    {
        // Checked once per folder: cheap beside reading the folder itself.
        if (Clock::now() - m_last >= m_interval)
            flush(false);
    }

    Post m_post;
    std::chrono::milliseconds m_interval;
    Clock::time_point m_last;
    struct OpenFolder
    {
        const std::string* path;
        std::uint32_t index; // of the folder in the batch numbered batch
        std::uint64_t batch;
    };
    std::vector<OpenFolder> m_open; // the folders being walked, outermost first
    const std::string* m_current = nullptr;
    std::uint64_t m_batchNumber = 1;
    ScanProgress m_batch;
};

} // namespace

ScanJob::ScanJob(std::unique_ptr<FolderEnumerator> enumerator, std::string root, QString suffix,
                 QObject* context, Deliver deliver, std::chrono::milliseconds batchInterval,
                 int readers)
    : m_enumerator(std::move(enumerator)), m_root(std::move(root)), m_suffix(std::move(suffix)),
      m_context(context), m_deliver(std::make_shared<Deliver>(std::move(deliver))),
      m_alive(std::make_shared<std::atomic<bool>>(true)), m_interval(batchInterval),
      m_readers(readers < 0 ? FolderReadAhead::default_readers() : readers)
{
    m_thread = std::thread([this] { run(); });
}

ScanJob::~ScanJob()
{
    // Batches already queued for the receiver are dropped: it asked for this job to end.
    m_alive->store(false);
    m_cancel.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

void ScanJob::run()
{
    QObject* context = m_context.data();
    auto post = [context, deliver = m_deliver, alive = m_alive](ScanProgress&& p) {
        if (!context)
            return;
        QMetaObject::invokeMethod(
            context,
            [deliver, alive, progress = std::move(p)]() mutable {
                if (alive->load())
                    (*deliver)(std::move(progress));
            },
            Qt::QueuedConnection);
    };
    BatchingSink sink(post, m_interval);
    FolderWalker walker(*m_enumerator, m_suffix, sink, &m_cancel, m_readers);
    walker.walk_folder(m_root);
    if (!walker.cancelled())
        sink.flush(true);
}

} // namespace pelmora

#include "catalogue/scan_job.h"

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
        m_current = folder;
        maybe_flush();
    }
    void folder_ended() override {}
    void add_hit(const QString& name, const QString& folder) override
    {
        m_batch.hits.push_back(Hit{name, folder});
    }

    void flush(bool finished)
    {
        m_batch.currentFolder = finished ? QString() : QString::fromStdString(m_current);
        m_batch.finished = finished;
        m_post(std::move(m_batch));
        m_batch = ScanProgress{};
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
    std::string m_current;
    ScanProgress m_batch;
};

} // namespace

ScanJob::ScanJob(std::unique_ptr<FolderEnumerator> enumerator, std::string root, QString suffix,
                 QObject* context, Deliver deliver, std::chrono::milliseconds batchInterval)
    : m_enumerator(std::move(enumerator)), m_root(std::move(root)), m_suffix(std::move(suffix)),
      m_context(context), m_deliver(std::make_shared<Deliver>(std::move(deliver))),
      m_alive(std::make_shared<std::atomic<bool>>(true)), m_interval(batchInterval)
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
    FolderWalker walker(*m_enumerator, m_suffix, sink, &m_cancel);
    walker.walk_folder(m_root);
    if (!walker.cancelled())
        sink.flush(true);
}

} // namespace pelmora

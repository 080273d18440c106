// Previews through LibreOffice: the document is converted to PDF headless and the first page
// is drawn with Poppler. Pictures are remembered per file version and pane size for the
// rest of the run.
#pragma once

#include "platform/preview_renderer.h"

#include <QEventLoop>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

namespace pelmora {

enum class LibreOfficeMode {
    // One headless LibreOffice stays running for the renderer's lifetime and each conversion
    // is handed to it by a short-lived soffice call. Its start costs seconds once; each
    // conversion afterwards costs a fraction of a second.
    Resident,
    // Every conversion starts and ends its own LibreOffice, reusing the renderer's profile.
    OneShot,
};

struct LibreOfficeOptions
{
    // soffice or a compatible script; empty means "soffice", then "libreoffice", on PATH.
    QString program;
    LibreOfficeMode mode = LibreOfficeMode::Resident;
    // Longest a render may wait for LibreOffice, start-up included; then it is killed.
    std::chrono::milliseconds time_limit{60'000};
    // Memory for remembered pictures; the least recently shown go first. 0 keeps none.
    std::int64_t cache_limit_bytes = std::int64_t{256} * 1024 * 1024;
    // Events processed while waiting. ExcludeUserInputEvents holds clicks back until the
    // render is over, the way a blocking OLE link did.
    QEventLoop::ProcessEventsFlags wait_flags = QEventLoop::AllEvents;
};

class LibreOfficePreviewRenderer final : public PreviewRenderer
{
public:
    explicit LibreOfficePreviewRenderer(LibreOfficeOptions options = {});
    ~LibreOfficePreviewRenderer() override; // stops the resident LibreOffice
    LibreOfficePreviewRenderer(const LibreOfficePreviewRenderer&) = delete;
    LibreOfficePreviewRenderer& operator=(const LibreOfficePreviewRenderer&) = delete;

    PreviewResult render(const QString& path, const QSize& pane) override;
    void prepare() override;

    // The program conversions run with; empty when none was found.
    QString program() const;
    // Conversions handed to LibreOffice so far (pictures served from memory do not count).
    int conversions() const;
    // Times the resident LibreOffice was started.
    int resident_starts() const;
    void clear_cache();

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace pelmora

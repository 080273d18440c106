// SPDX-License-Identifier: GPL-3.0-or-later
// Previews through LibreOffice: the content is recognised by its bytes, page 1 is exported
// to PDF by a resident office and drawn with Poppler; the first request for a later page
// exports the whole document. Pictures and PDFs are remembered per file version for the rest
// of the run. The offices start one after the other, and stop when previews stay unasked.
#pragma once

#include "ports/preview_renderer.h"

#include <QEventLoop>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace pelmora {

enum class LibreOfficeMode {
    // Headless offices stay running for the renderer's lifetime and each conversion is
    // handed to an idle one by a short-lived soffice call. Their start costs seconds once;
    // each conversion afterwards costs a fraction of a second.
    Resident,
    // Every conversion starts and ends its own LibreOffice, reusing the renderer's profile.
    OneShot,
};

struct LibreOfficeOptions
{
    // soffice or a compatible script; empty means "soffice", then "libreoffice", on PATH.
    QString program;
    // bubblewrap, which every office runs under (see office_sandbox.h); empty means "bwrap"
    // on PATH. Without it nothing is converted.
    QString sandbox;
    LibreOfficeMode mode = LibreOfficeMode::Resident;
    // Resident offices kept: with two, a request that overtakes a slow one goes to the other
    // at once while the overtaken one is restarted. The second starts once the first is
    // ready: two starting together take longer than one.
    int resident_offices = 2;
    // Offices stop after this long without a preview asked for (or a prepare), and start
    // again when wanted.
    std::chrono::milliseconds idle_stop{std::chrono::minutes(15)};
    // The priority an office warmed up while the user is idle runs at (nice).
    int warm_up_niceness = 10;
    // Longest a render may wait for LibreOffice, start-up included; then it is killed.
    std::chrono::milliseconds time_limit{60'000};
    // Memory for remembered pictures and pages; the least recently used go first.
    std::int64_t cache_limit_bytes = std::int64_t{256} * 1024 * 1024;
    // Events processed while waiting. ExcludeUserInputEvents holds clicks back until the
    // render is over, the way a blocking OLE link did.
    QEventLoop::ProcessEventsFlags wait_flags = QEventLoop::AllEvents;
};

class LibreOfficePreviewRenderer final : public PreviewRenderer
{
public:
    explicit LibreOfficePreviewRenderer(LibreOfficeOptions options = {});
    ~LibreOfficePreviewRenderer() override; // stops the resident offices
    LibreOfficePreviewRenderer(const LibreOfficePreviewRenderer&) = delete;
    LibreOfficePreviewRenderer& operator=(const LibreOfficePreviewRenderer&) = delete;

    PreviewResult render_page(const PageRequest& request) override;
    void prepare() override;
    void warm_up() override;

    // The program conversions run with; empty when none was found.
    QString program() const;
    // Conversions handed to LibreOffice so far (pictures served from memory do not count).
    int conversions() const;
    // Times a resident office was started.
    int resident_starts() const;
    // The process groups of the resident offices running now.
    std::vector<qint64> office_groups() const;
    void clear_cache();

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace pelmora

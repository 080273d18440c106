// SPDX-License-Identifier: GPL-3.0-or-later
// Opens documents with the desktop's opener program (xdg-open), started with the exact bytes
// of the path, and judges the request by the opener's exit status, watched without blocking.
#pragma once

#include "ports/opener.h"

#include <QObject>
#include <chrono>
#include <memory>
#include <vector>

namespace pelmora {

class DesktopOpener final : public Opener
{
public:
    // program: the opener, found on PATH unless it holds a '/'. An opener still running
    // after settle has started the application itself and counts as accepted.
    explicit DesktopOpener(QString program = QStringLiteral("xdg-open"),
                           std::chrono::milliseconds settle = std::chrono::seconds(10));
    ~DesktopOpener() override;
    DesktopOpener(const DesktopOpener&) = delete;
    DesktopOpener& operator=(const DesktopOpener&) = delete;

    void open(const Path& path, std::function<void(bool accepted)> done) override;

    // Opener processes still being watched.
    int running() const { return static_cast<int>(m_launches.size()); }

private:
    struct Launch;
    void finished(Launch* launch, bool accepted);
    void forget(Launch* launch);

    QString m_program;
    std::chrono::milliseconds m_settle;
    QObject m_context; // owns timers and notifiers' connections
    std::vector<std::unique_ptr<Launch>> m_launches;
};

} // namespace pelmora

// Opens documents through the desktop's URL service (xdg-open and friends). Needs a
// QGuiApplication.
#pragma once

#include "platform/opener.h"

namespace pelmora {

class DesktopOpener final : public Opener
{
public:
    bool open(const QString& path) override;
};

} // namespace pelmora

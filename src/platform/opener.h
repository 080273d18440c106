// Opening a document in the application the desktop associates with it.
#pragma once

#include <QString>

namespace pelmora {

class Opener
{
public:
    virtual ~Opener() = default;
    // True when the desktop accepted the request. The program neither waits for nor tracks
    // the application. An empty path or one that does not exist is refused.
    virtual bool open(const QString& path) = 0;
};

} // namespace pelmora

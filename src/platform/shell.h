// The shell layer under copy, move and trash: one file per request, done by the program
// itself, with its own replace and trash questions. Backends: posix_shell.h.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace pelmora {

// Operation codes and flag bits as the commands pass them.
inline constexpr int FO_MOVE = 1;
inline constexpr int FO_COPY = 2;
inline constexpr int FO_DELETE = 3;
inline constexpr int FOF_ALLOWUNDO = 0x40;

// Progress of one long copy. The backend only shows it once the copy has run for a while.
class CopyProgress
{
public:
    virtual ~CopyProgress() = default;
    // Returns false once the user asked to cancel.
    virtual bool update(qint64 done, qint64 total) = 0;
};

class CopyProgressFactory
{
public:
    virtual ~CopyProgressFactory() = default;
    virtual std::unique_ptr<CopyProgress> begin(const QString& src, const QString& dst,
                                                qint64 total) = 0;
};

class Shell
{
public:
    virtual ~Shell() = default;
    // Copies (FO_COPY) or moves (FO_MOVE) the file src to the full path dst. True only when
    // the file arrived at dst; on false the source is untouched and dst holds no partial file.
    virtual bool transfer(const QString& src, const QString& dst, int func, int flags) = 0;
    // Asks once for the whole request, then sends each path to the trash (or deletes it when
    // permanent). 0 when every path went, non-zero when the user declined or a path failed.
    // trashed_to receives, per path, where the trash put it.
    virtual int remove(const QStringList& paths, bool permanent, QStringList* trashed_to) = 0;
};

} // namespace pelmora

// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of a document's pages for the preview pane, in place of a linked OLE object. The
// window links by rendering and showing page 1, pages on by asking for further pages, and
// closes, discards or resets by dropping the picture.
#pragma once

#include "base/path.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace pelmora {

enum class PreviewError {
    None,
    NoFile,          // empty path, missing, or not a regular file
    NotADocument,    // the content is nothing an office suite would open
    NoConverter,     // the program that reads documents is not installed
    ConverterFailed, // it could not be started, crashed or reported an error
    TimedOut,        // it did not finish within the time limit and was stopped
    NoOutput,        // it finished without producing a picture source
    RenderFailed,    // its output could not be read or drawn
    BadPane,         // the pane size is empty
    System,          // e.g. no temporary folder could be made
    Encrypted,       // opening it needs a password
    Damaged,         // an office container that cannot be read
    Superseded,      // a newer request took over before this one was done
    NoSandbox,       // the jail the converter must run in is missing or cannot be made
};

struct PageRequest
{
    Path path;
    QSize pane;        // device pixels; the picture is this wide
    int page = 0;      // 0 for page 1; beyond the last page means the last page
    bool crop = false; // only the inked part of the page, plus a margin, is drawn to the width
};

struct PreviewResult
{
    QImage image; // as wide as the pane, aspect ratio kept; null on failure
    PreviewError error = PreviewError::None;
    QString message;    // for the user, in Japanese; empty on success
    int page = 0;       // the page drawn, 0 for page 1
    int page_count = 0; // pages of the document; 0 while not known (only page 1 was read)

    bool ok() const { return error == PreviewError::None && !image.isNull(); }
};

class PreviewRenderer
{
public:
    virtual ~PreviewRenderer() = default;

    // Renders one page of the document as wide as the pane (its height follows the page; a
    // pane scrolls). Page 1 alone is read first; asking for another page reads the whole
    // document once, and tells the page count from then on. Blocks the caller but keeps the
    // event loop running while it works, so other handlers may run meanwhile; a render that
    // has to convert, started there, supersedes this one, which then ends early with
    // Superseded. Never throws; failures come back in the result, with a short reason for
    // the user.
    virtual PreviewResult render_page(const PageRequest& request) = 0;

    // Page 1, uncropped.
    PreviewResult render(const Path& path, const QSize& pane)
    {
        return render_page(PageRequest{path, pane, 0, false});
    }

    // A hint that renders are coming soon (e.g. preview was switched on): a backend with a
    // slow start may begin it now. Returns at once.
    virtual void prepare() {}

    // A weaker hint, given while the user is idle: renders may come some day. A backend may
    // start getting ready at low priority, at a cost to nobody who is working.
    virtual void warm_up() {}
};

} // namespace pelmora

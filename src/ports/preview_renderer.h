// SPDX-License-Identifier: GPL-3.0-or-later
// A picture of a document for the preview pane, in place of a linked OLE object. The window
// links by rendering and showing the picture, and closes, discards or resets by dropping it.
#pragma once

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

struct PreviewResult
{
    QImage image; // as wide as the pane, aspect ratio kept; null on failure
    PreviewError error = PreviewError::None;
    QString message; // for the user, in Japanese; empty on success

    bool ok() const { return error == PreviewError::None && !image.isNull(); }
};

class PreviewRenderer
{
public:
    virtual ~PreviewRenderer() = default;

    // Renders the first page of the document at path as wide as pane (its height follows the
    // page; a pane scrolls). Blocks the caller but keeps the event loop running while it
    // works, so other handlers may run meanwhile; a render started there supersedes this
    // one, which then ends early with Superseded. Never throws; failures come back in the
    // result, with a short reason for the user.
    virtual PreviewResult render(const QString& path, const QSize& pane) = 0;

    // A hint that renders are coming soon (e.g. preview was switched on): a backend with a
    // slow start may begin it now. Returns at once.
    virtual void prepare() {}
};

} // namespace pelmora

// SPDX-License-Identifier: GPL-3.0-or-later
// The program's help: "トピックの検索(&U)" opens its topics window. Behind an interface so the
// menu handler can be tested without a help file.
#pragma once

namespace pelmora {

class HelpViewer
{
public:
    virtual ~HelpViewer() = default;
    // Shows the help topics window (contents, index, search). A missing or unreadable help
    // file shows nothing and reports nothing.
    virtual void show_topics() = 0;
};

} // namespace pelmora

// The session state of one run: what was clicked, which root and type are listed, the
// result cache, the dialog hand-over values, the undo journal and the blink counter.
// Windows share it through one instance that lives for the whole run; nothing is saved.
#pragma once

#include "catalogue/result_cache.h"

#include <QString>
#include <QStringList>

namespace pelmora {

// A text list as the commands use it: never empty, and "nothing" is one empty element.
inline QStringList empty_text_list()
{
    return QStringList{QString()};
}

// True when a text list holds nothing: exactly one element that is blank.
inline bool text_list_is_empty(const QStringList& l)
{
    return l.size() <= 1 && (l.isEmpty() || l.front().trimmed().isEmpty());
}

struct QRV_Public
{
    bool op_handed_over = false;
    QString sel_file;
    QString sel_dir;
    qsizetype cur_row = 0;
    qsizetype prev_row = 0;
    qsizetype hit_count = 0;
    int drive_listed = 0;
    QString list_key; // cache key of the scan in progress (root + type letter)
    QString doc_type = QStringLiteral("X"); // "X" Excel workbooks, "D" Word documents
    ResultCache cache;
    QStringList sel_marks = empty_text_list();
    int dlg_cancel = 0;
    QString dest_dir;
    QString archive_name;
    int dlg_mode = 0;
    int undo_kind = 0;
    QStringList undo_src = empty_text_list();
    QStringList undo_dst = empty_text_list();
    int blink_count = 0;
    qsizetype grid_row = 0;

    // Start values set by the main window's load handler.
    void reset_for_start();
};

} // namespace pelmora

// SPDX-License-Identifier: GPL-3.0-or-later
// A path as the file system stores it. The bytes are kept exactly; inside they travel as the
// text of native_path.h (UTF-8 decoded, every other byte escaped), which is also the form the
// grid's cells hold; the session variables hold Path itself. All splitting is on '/', a byte no
// escape and no Shift_JIS trail byte can be, so splitting the text splits the bytes.
#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QList>
#include <QString>

namespace pelmora {

class Path
{
public:
    Path() = default;
    // text: as native_path::from_native makes it, or any valid text.
    explicit Path(QString text) : m_text(std::move(text)) {}
    static Path from_bytes(const QByteArray& bytes);

    // What every system call is given.
    QByteArray bytes() const;
    // The carried text (escapes included): what the grid holds.
    const QString& text() const { return m_text; }
    // What the user reads (native_path::readable).
    QString readable() const;
    bool is_empty() const { return m_text.isEmpty(); }
    // True when the text holds nothing but blanks: what the commands read as no path.
    bool is_blank() const { return m_text.trimmed().isEmpty(); }
    // True when the last character is a separator: a folder as sel_dir and dest_dir are written.
    bool ends_with_separator() const { return m_text.endsWith(u'/'); }

    // The parts ignore separators at the end: "/a/b/" is the folder b in /a.
    // The folder the path lies in, without a separator at the end ("/" for a part of the
    // root, empty for a bare name).
    Path folder() const;
    // The last part; empty for "/".
    QString name() const;
    // The name after its last '.', without it; empty when the name has no '.' past its first
    // character (".profile" has none).
    QString suffix() const;
    // The path one level down: exactly one separator between the two.
    Path child(const QString& name) const;
    // Without "//", "." and "name/.." and without a separator at the end (except "/"). Words
    // only: links are not followed, so "link/.." may name another folder on disk.
    Path cleaned() const;
    // The same path ending with exactly one separator, as sel_dir and dest_dir are written.
    Path with_separator() const;
    // The same text with a separator added, unless, blanks at its end aside, it ends with one:
    // how a chosen folder is handed over. Nothing else of the text changes.
    Path with_separator_added() const;
    // The same text without one separator at its end, if it has one.
    Path without_separator_at_end() const;
    // True when the path is root itself or lies below it, after cleaning both; "/ab" is not
    // within "/a".
    bool is_within(const Path& root) const;

    // The text followed by more's, nothing between: a folder written with its separator
    // followed by a name, as sel_dir + sel_file name the selected file.
    friend Path operator+(const Path& a, const Path& b) { return Path(a.m_text + b.m_text); }
    friend bool operator==(const Path& a, const Path& b) = default;
    friend size_t qHash(const Path& p, size_t seed = 0) { return qHash(p.m_text, seed); }

private:
    QString m_text;
};

using PathList = QList<Path>;

} // namespace pelmora

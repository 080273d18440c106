// SPDX-License-Identifier: GPL-3.0-or-later
// The jail every LibreOffice process of the preview runs in (bubblewrap). A document mailed
// by a stranger is parsed here, so the office gets no network, a read-only system, and of the
// user's files only the copy of the document being converted. Everything it may write lives
// in one private folder of ours (mode 0700), which is also its /tmp and its home: the office's
// socket is made there, where no other user can reach or pre-create it, and it goes with the
// folder. The folder appears at the same path inside, so paths are passed through unchanged.
// There is no fallback: where the jail cannot be made, nothing is converted.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QTemporaryDir;

namespace pelmora::office_sandbox {

// Subfolders of a private folder. in/ is read-only inside.
inline constexpr auto kProfile = "profile";
inline constexpr auto kTmp = "tmp";
inline constexpr auto kHome = "home";
inline constexpr auto kKeep = "keep";
inline constexpr auto kInput = "in";
inline constexpr auto kOutput = "out";

// bwrap as given (a name looked up on PATH, or a path); empty when not there.
QString find(const QString& wanted);

// A fresh private folder under QDir::tempPath() with the subfolders above, owner-marked for
// the stale-folder sweep; null when it could not be made.
std::unique_ptr<QTemporaryDir> make_folder(const QString& prefix);

// The bwrap arguments that run command with arguments inside the jail of folder.
QStringList wrap(const QString& folder, const QString& command, const QStringList& arguments);

// Whether bwrap can make its namespaces here (user namespaces may be switched off); on
// failure *why holds what bwrap said.
bool usable(const QString& bwrap, QString* why);

// Empties in/ and out/ of a private folder before the next conversion.
bool clear_exchange(const QString& folder);

} // namespace pelmora::office_sandbox

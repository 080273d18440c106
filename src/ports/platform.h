// SPDX-License-Identifier: GPL-3.0-or-later
// The platform layers the program talks to, gathered so a window can be built on real
// backends or on fakes. Non-owning: whoever builds the bundle keeps the backends alive.
#pragma once

namespace pelmora {

class MessageBoxes;
class Clock;
class EventYield;
class RootProvider;
class FolderEnumeratorFactory;
class PreviewRenderer;
class Opener;
class PrinterFactory;
class HelpViewer;
class Shell;
class FileSystem;
class Archiver;
class ArchiveFiles;

struct Platform
{
    MessageBoxes* messages = nullptr;
    Clock* clock = nullptr;
    EventYield* yield = nullptr;
    RootProvider* roots = nullptr;
    FolderEnumeratorFactory* folders = nullptr;
    PreviewRenderer* preview = nullptr;
    Opener* opener = nullptr;
    PrinterFactory* printers = nullptr;
    HelpViewer* help = nullptr;
    Shell* shell = nullptr;                // copy, move and trash
    FileSystem* files = nullptr;           // what stands at a path, folder listings, new folders
    Archiver* archiver = nullptr;          // compression
    ArchiveFiles* archive_files = nullptr; // the list file and archive a compression writes
};

} // namespace pelmora

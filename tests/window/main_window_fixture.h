// SPDX-License-Identifier: GPL-3.0-or-later
// A main window on fake platform layers, with roots /a/ and /b/ in a fake tree.
#pragma once

#include "backends/posix/posix_archive_files.h"
#include "backends/posix/posix_file_system.h"
#include "catalogue/catalogue.h"
#include "fakes.h"
#include "session/session.h"
#include "window/main_window.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

namespace pelmora::test {

struct MainWindowFixture
{
    FakePlatform fake;
    PosixFileSystem files; // the real disk: paths a fake tree lacks are simply missing
    PosixArchiveFiles archive_files;
    Platform platform;
    QRV_Public session;
    std::unique_ptr<QRV_Main> window;

    // setup may add roots and folders before the window reads them.
    explicit MainWindowFixture(const std::function<void(FakePlatform&)>& setup = {})
    {
        fake.roots.list = {Root{Path(QStringLiteral("/a/")), QStringLiteral("ホーム")},
                           Root{Path(QStringLiteral("/b/")), QStringLiteral("ext4")}};
        fake.tree.add_folder("/a/", {file("z.xls"), dir("s"), file("b.xls"), file("m.doc")});
        fake.tree.add_folder("/a/s/", {file("c.xls")});
        fake.tree.add_folder("/b/", {file("only.xls")});
        if (setup)
            setup(fake);
        platform = fake.platform();
        platform.files = &files;
        platform.archive_files = &archive_files;
        window = std::make_unique<QRV_Main>(session, platform);
    }

    template <typename T> T* child(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }

    // Runs the load handler and waits for the first listing to end.
    bool load()
    {
        QSignalSpy done(&window->catalogue(), &Catalogue::listing_finished);
        window->Form_Load();
        return done.count() > 0 || done.wait(5000);
    }
    bool refresh()
    {
        QSignalSpy done(&window->catalogue(), &Catalogue::listing_finished);
        window->Command1_Click();
        return done.count() > 0 || done.wait(5000);
    }
    bool choose_root(int index)
    {
        QSignalSpy done(&window->catalogue(), &Catalogue::listing_finished);
        child<QComboBox>("dir1")->setCurrentIndex(index);
        return done.count() > 0 || done.wait(5000);
    }
};

} // namespace pelmora::test

// SPDX-License-Identifier: GPL-3.0-or-later
#include "make_tree.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora::bench {
namespace {

bool write_file(const std::string& path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const char byte = 'x';
    const bool ok = write(fd, &byte, 1) == 1;
    close(fd);
    return ok;
}

std::string numbered(const char* fmt, long n)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, n);
    return buf;
}

} // namespace

TreeStats make_tree(const std::string& rootIn, long files)
{
    TreeStats s;
    const std::string root = rootIn.back() == '/' ? rootIn : rootIn + '/';
    mkdir(root.c_str(), 0755);
    const long folderCount = std::max(1L, files / 10);
    // An 8-ary tree of folders: folder i lives in folder (i - 1) / 8.
    std::vector<std::string> folders(static_cast<std::size_t>(folderCount));
    folders[0] = root;
    for (long i = 1; i < folderCount; ++i) {
        const std::string& parent = folders[std::size_t((i - 1) / 8)];
        std::string name;
        if (i % 500 == 0)
            name = numbered("old%ld.xls", i); // a folder named like a workbook: walked
        else if (i % 97 == 0)
            name = numbered(".cache%ld", i); // a dot folder: never entered
        else
            name = numbered("dir%05ld", i);
        folders[std::size_t(i)] = parent + name + '/';
        mkdir(folders[std::size_t(i)].c_str(), 0755);
    }
    s.folders = folderCount;
    auto hidden = [&](long folder) {
        // A folder is unlisted when it or any parent starts with a dot.
        for (long f = folder; f > 0; f = (f - 1) / 8) {
            if (f % 97 == 0 && f % 500 != 0)
                return true;
        }
        return false;
    };
    for (long j = 0; j < files; ++j) {
        const long folder = j % folderCount;
        std::string name;
        bool excel = false, word = false;
        switch (j % 100) {
        case 0: // mixed case on every fourth workbook
            name = numbered((j / 100) % 4 == 1 ? "Budget%07ld.Xls" : "report%07ld.xls", j);
            excel = true;
            break;
        case 1:
            name = numbered("MEMO%07ld.DOC", j), word = true;
            break;
        case 2:
            name = numbered("copy%07ld.bak.xls", j); // suffix "bak.xls": not a hit
            break;
        case 3:
            name = numbered("sheet%07ld.xlsx", j);
            break;
        default:
            name = numbered("data%07ld.txt", j);
            break;
        }
        if (write_file(folders[std::size_t(folder)] + name)) {
            ++s.files;
            if (!hidden(folder)) {
                s.excel += excel;
                s.word += word;
            }
        }
    }
    return s;
}

} // namespace pelmora::bench

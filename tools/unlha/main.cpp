// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line front end of the archiver library, for scripts and for
// checking archives by hand: unlha 'u -a1 -r2 -l1 -jp1 -o2 ARC.LZH \ @list '
#include "lzh/unlha.h"

#include <array>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: unlha '<command line>'\n");
        return 2;
    }
    std::array<char, 1024> output{};
    const int rc =
        pelmora::Unlha(0, argv[1], output.data(), static_cast<std::uint32_t>(output.size()));
    std::puts(output.data());
    return rc;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// delay_fs SOURCE MOUNTPOINT MS: mounts SOURCE read-only at MOUNTPOINT and answers every
// lookup, opendir and readdir MS milliseconds late, as a share across a slow network does.
// The kernel keeps no names (an entry timeout of zero), so every scan looks every folder up
// again and pays the delay again; it keeps the attributes, so a lookup is not followed by a
// stat of its own. A folder thus costs three delays: lookup, opendir, readdir. Runs in the
// foreground until MOUNTPOINT is unmounted (umount or fusermount3 -u) or the process gets SIGTERM;
// MOUNTPOINT may be SOURCE itself.
#define FUSE_USE_VERSION FUSE_MAKE_VERSION(3, 14)

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int g_source = -1; // the source folder, opened before the mount covers it
long g_delayNs = 0;

void delay()
{
    timespec t{g_delayNs / 1000000000L, g_delayNs % 1000000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// The path below the source: "/" is the source itself.
const char* relative(const char* path)
{
    while (*path == '/')
        ++path;
    return *path ? path : ".";
}

void* df_init(fuse_conn_info* conn, fuse_config* cfg)
{
    conn->want &= ~unsigned{FUSE_CAP_READDIRPLUS};
    // Lookups and reads of one folder served side by side, as a server answers them.
    if (conn->capable & FUSE_CAP_PARALLEL_DIROPS)
        conn->want |= FUSE_CAP_PARALLEL_DIROPS;
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 86400;
    cfg->negative_timeout = 0;
    cfg->use_ino = 1;
    cfg->nullpath_ok = 0;
    return nullptr;
}

// Serves lookups (and the rare stat the kernel does not answer from its cache).
int df_getattr(const char* path, struct stat* st, fuse_file_info* fi)
{
    (void)fi;
    delay();
    return fstatat(g_source, relative(path), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

int df_readlink(const char* path, char* buf, size_t size)
{
    const ssize_t n = readlinkat(g_source, relative(path), buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}

int df_opendir(const char* path, fuse_file_info* fi)
{
    delay();
    const int fd = openat(g_source, relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    fi->fh = std::uint64_t(fd);
    return 0;
}

int df_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset, fuse_file_info* fi,
               enum fuse_readdir_flags flags)
{
    (void)path;
    (void)offset;
    (void)flags;
    delay();
    // The library asks once per opendir and keeps the entries: read them all from the start.
    const int fd = dup(int(fi->fh));
    DIR* d = fd < 0 ? nullptr : fdopendir(fd);
    if (!d) {
        const int e = errno;
        if (fd >= 0)
            close(fd);
        return -e;
    }
    rewinddir(d);
    for (const struct dirent* e; (e = readdir(d)) != nullptr;) {
        struct stat st
        {};
        st.st_ino = e->d_ino;
        st.st_mode = mode_t(e->d_type) << 12;
        if (fill(buf, e->d_name, &st, 0, fuse_fill_dir_flags{}) != 0)
            break;
    }
    closedir(d);
    return 0;
}

int df_releasedir(const char* path, fuse_file_info* fi)
{
    (void)path;
    close(int(fi->fh));
    return 0;
}

int df_open(const char* path, fuse_file_info* fi)
{
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = openat(g_source, relative(path), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = std::uint64_t(fd);
    return 0;
}

int df_read(const char* path, char* buf, size_t size, off_t offset, fuse_file_info* fi)
{
    (void)path;
    const ssize_t n = pread(int(fi->fh), buf, size, offset);
    return n < 0 ? -errno : int(n);
}

int df_release(const char* path, fuse_file_info* fi)
{
    (void)path;
    close(int(fi->fh));
    return 0;
}

fuse_operations operations()
{
    fuse_operations o{};
    o.getattr = df_getattr;
    o.readlink = df_readlink;
    o.open = df_open;
    o.read = df_read;
    o.release = df_release;
    o.opendir = df_opendir;
    o.readdir = df_readdir;
    o.releasedir = df_releasedir;
    o.init = df_init;
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: delay_fs SOURCE MOUNTPOINT MS\n");
        return 2;
    }
    g_source = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_source < 0) {
        std::perror(argv[1]);
        return 1;
    }
    g_delayNs = long(std::atof(argv[3]) * 1e6);

    char dashO[] = "-o";
    char options[] = "ro,default_permissions,fsname=delay_fs,subtype=delay";
    char* fuseArgv[] = {argv[0], dashO, options, nullptr};
    fuse_args args = FUSE_ARGS_INIT(3, fuseArgv);
    const fuse_operations ops = operations();
    fuse* fs = fuse_new(&args, &ops, sizeof ops, nullptr);
    if (!fs)
        return 1;
    if (fuse_mount(fs, argv[2]) != 0) {
        fuse_destroy(fs);
        return 1;
    }
    fuse_session* session = fuse_get_session(fs);
    fuse_set_signal_handlers(session);
    // A delayed request holds its thread: enough of them for the widest reader pool.
    fuse_loop_config* loop = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(loop, 1024);
    fuse_loop_cfg_set_idle_threads(loop, 64);
    const int r = fuse_loop_mt(fs, loop);
    fuse_loop_cfg_destroy(loop);
    fuse_remove_signal_handlers(session);
    fuse_unmount(fs);
    fuse_destroy(fs);
    return r == 0 ? 0 : 1;
}

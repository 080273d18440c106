// SPDX-License-Identifier: GPL-3.0-or-later
// An LD_PRELOAD library that makes one system call fail: the k-th call, counted over the
// families named in PELMORA_FAULT_CALLS (comma-separated; every family when unset), returns
// -1 with errno PELMORA_FAULT_ERRNO (EIO when unset), or kills the process with SIGKILL when
// PELMORA_FAULT_KILL=1. k is PELMORA_FAULT_AT (0: count only). Calls count only while the
// program has armed the library (pelmora_fault_arm), so that its own set-up and checks stay
// out of the count.
//
// Families: open (open, open64), openat (openat, openat64), read (read, pread, pread64),
// write (write, pwrite, pwrite64), fsync (fsync, fdatasync), rename (rename, renameat),
// renameat2, linkat (link, linkat), unlink, unlinkat, copy_file_range, syncfs.
//
// PELMORA_FAULT_LOG names a file that receives, while armed and in order, a line per name made
// ("name <dev>"), per name removed ("unlink <dev> <ino>") and per sync ("sync <dev> <1|0>", 0
// when it failed); dev and ino are those of the folder, or of the synced file's file system.
// PELMORA_FAULT_NO_EXCHANGE=1 refuses renameat2 with RENAME_EXCHANGE (EINVAL, not counted), as
// a file system without it does.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static atomic_int g_armed;
static atomic_long g_calls;
static const char* _Atomic g_fired;

// Arms (1) or disarms (0) the counting.
void pelmora_fault_arm(int on);
// How many calls of the chosen families were counted so far.
long pelmora_fault_calls(void);
// The family whose call was made to fail, or NULL.
const char* pelmora_fault_fired(void);

void pelmora_fault_arm(int on)
{
    atomic_store(&g_armed, on);
}

long pelmora_fault_calls(void)
{
    return atomic_load(&g_calls);
}

const char* pelmora_fault_fired(void)
{
    return atomic_load(&g_fired);
}

static int chosen(const char* family)
{
    const char* list = getenv("PELMORA_FAULT_CALLS");
    if (list == NULL || *list == '\0')
        return 1;
    const size_t n = strlen(family);
    for (const char* p = list; p != NULL && *p != '\0';) {
        const char* end = strchr(p, ',');
        const size_t len = end ? (size_t)(end - p) : strlen(p);
        if (len == n && strncmp(p, family, n) == 0)
            return 1;
        p = end ? end + 1 : NULL;
    }
    return 0;
}

// Whether this call fails; sets errno (or kills the process) when it does.
static int fails(const char* family)
{
    if (!atomic_load(&g_armed) || !chosen(family))
        return 0;
    const long at = atol(getenv("PELMORA_FAULT_AT") ? getenv("PELMORA_FAULT_AT") : "0");
    const long call = atomic_fetch_add(&g_calls, 1) + 1;
    if (at <= 0 || call != at)
        return 0;
    atomic_store(&g_fired, family);
    const char* kill_it = getenv("PELMORA_FAULT_KILL");
    if (kill_it != NULL && strcmp(kill_it, "1") == 0)
        raise(SIGKILL);
    const char* code = getenv("PELMORA_FAULT_ERRNO");
    errno = code ? atoi(code) : EIO;
    return 1;
}

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

static mode_t mode_of(int flags, va_list ap)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);

// The folder that holds name (relative to dir), or the file open at dir when name is NULL.
static int status_of(int dir, const char* name, struct stat* st)
{
    if (name == NULL)
        return fstat(dir, st);
    const char* slash = strrchr(name, '/');
    if (slash == NULL)
        return dir == AT_FDCWD ? stat(".", st) : fstat(dir, st);
    char folder[PATH_MAX];
    const size_t n = slash == name ? 1 : (size_t)(slash - name);
    if (n >= sizeof folder)
        return -1;
    memcpy(folder, name, n);
    folder[n] = '\0';
    return fstatat(dir, folder, st, 0);
}

// Logs what a call of kind ("name", "unlink", "sync") did; returns its result rc untouched.
static int logged(int rc, const char* kind, int dir, const char* name)
{
    const char* path = getenv("PELMORA_FAULT_LOG");
    const int sync = strcmp(kind, "sync") == 0;
    if (!atomic_load(&g_armed) || path == NULL || *path == '\0' || (rc != 0 && !sync))
        return rc;
    const int err = errno;
    struct stat st;
    if (status_of(dir, name, &st) == 0) {
        char line[96];
        const unsigned long long dev = (unsigned long long)st.st_dev;
        const int n = sync ? snprintf(line, sizeof line, "sync %llu %d\n", dev, rc == 0)
                      : strcmp(kind, "unlink") == 0
                          ? snprintf(line, sizeof line, "unlink %llu %llu\n", dev,
                                     (unsigned long long)st.st_ino)
                          : snprintf(line, sizeof line, "name %llu\n", dev);
        const int out =
            REAL("open", open_fn)(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (out >= 0) {
            REAL("write", ssize_t(*)(int, const void*, size_t))(out, line, (size_t)n);
            close(out);
        }
    }
    errno = err;
    return rc;
}

int open(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_of(flags, ap);
    va_end(ap);
    return fails("open") ? -1 : REAL("open", open_fn)(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_of(flags, ap);
    va_end(ap);
    return fails("open") ? -1 : REAL("open64", open_fn)(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_of(flags, ap);
    va_end(ap);
    return fails("openat") ? -1 : REAL("openat", openat_fn)(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_of(flags, ap);
    va_end(ap);
    return fails("openat") ? -1 : REAL("openat64", openat_fn)(dir, path, flags, mode);
}

ssize_t read(int fd, void* buf, size_t n)
{
    return fails("read") ? -1 : REAL("read", ssize_t(*)(int, void*, size_t))(fd, buf, n);
}

ssize_t pread(int fd, void* buf, size_t n, off_t at)
{
    return fails("read") ? -1
                         : REAL("pread", ssize_t(*)(int, void*, size_t, off_t))(fd, buf, n, at);
}

ssize_t pread64(int fd, void* buf, size_t n, off_t at)
{
    return fails("read") ? -1
                         : REAL("pread64", ssize_t(*)(int, void*, size_t, off_t))(fd, buf, n, at);
}

ssize_t write(int fd, const void* buf, size_t n)
{
    return fails("write") ? -1 : REAL("write", ssize_t(*)(int, const void*, size_t))(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at)
{
    return fails("write")
               ? -1
               : REAL("pwrite", ssize_t(*)(int, const void*, size_t, off_t))(fd, buf, n, at);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at)
{
    return fails("write")
               ? -1
               : REAL("pwrite64", ssize_t(*)(int, const void*, size_t, off_t))(fd, buf, n, at);
}

int fsync(int fd)
{
    return logged(fails("fsync") ? -1 : REAL("fsync", int (*)(int))(fd), "sync", fd, NULL);
}

int fdatasync(int fd)
{
    return logged(fails("fsync") ? -1 : REAL("fdatasync", int (*)(int))(fd), "sync", fd, NULL);
}

int syncfs(int fd)
{
    return logged(fails("syncfs") ? -1 : REAL("syncfs", int (*)(int))(fd), "sync", fd, NULL);
}

int rename(const char* from, const char* to)
{
    return logged(fails("rename") ? -1
                                  : REAL("rename", int (*)(const char*, const char*))(from, to),
                  "name", AT_FDCWD, to);
}

int renameat(int fd1, const char* from, int fd2, const char* to)
{
    return logged(fails("rename") ? -1
                                  : REAL("renameat", int (*)(int, const char*, int, const char*))(
                                        fd1, from, fd2, to),
                  "name", fd2, to);
}

int renameat2(int fd1, const char* from, int fd2, const char* to, unsigned flags)
{
    const char* refuse = getenv("PELMORA_FAULT_NO_EXCHANGE");
    if ((flags & RENAME_EXCHANGE) != 0 && refuse != NULL && strcmp(refuse, "1") == 0) {
        errno = EINVAL;
        return -1;
    }
    return logged(fails("renameat2")
                      ? -1
                      : REAL("renameat2", int (*)(int, const char*, int, const char*, unsigned))(
                            fd1, from, fd2, to, flags),
                  "name", fd2, to);
}

int link(const char* from, const char* to)
{
    return logged(fails("linkat") ? -1 : REAL("link", int (*)(const char*, const char*))(from, to),
                  "name", AT_FDCWD, to);
}

int linkat(int fd1, const char* from, int fd2, const char* to, int flags)
{
    return logged(fails("linkat") ? -1
                                  : REAL("linkat", int (*)(int, const char*, int, const char*,
                                                           int))(fd1, from, fd2, to, flags),
                  "name", fd2, to);
}

int unlink(const char* path)
{
    return logged(fails("unlink") ? -1 : REAL("unlink", int (*)(const char*))(path), "unlink",
                  AT_FDCWD, path);
}

int unlinkat(int dir, const char* path, int flags)
{
    return logged(
        fails("unlinkat") ? -1 : REAL("unlinkat", int (*)(int, const char*, int))(dir, path, flags),
        "unlink", dir, path);
}

ssize_t copy_file_range(int in, off_t* in_at, int out, off_t* out_at, size_t n, unsigned flags)
{
    return fails("copy_file_range")
               ? -1
               : REAL("copy_file_range", ssize_t(*)(int, off_t*, int, off_t*, size_t, unsigned))(
                     in, in_at, out, out_at, n, flags);
}

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
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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
    return fails("fsync") ? -1 : REAL("fsync", int (*)(int))(fd);
}

int fdatasync(int fd)
{
    return fails("fsync") ? -1 : REAL("fdatasync", int (*)(int))(fd);
}

int syncfs(int fd)
{
    return fails("syncfs") ? -1 : REAL("syncfs", int (*)(int))(fd);
}

int rename(const char* from, const char* to)
{
    return fails("rename") ? -1 : REAL("rename", int (*)(const char*, const char*))(from, to);
}

int renameat(int fd1, const char* from, int fd2, const char* to)
{
    return fails("rename")
               ? -1
               : REAL("renameat", int (*)(int, const char*, int, const char*))(fd1, from, fd2, to);
}

int renameat2(int fd1, const char* from, int fd2, const char* to, unsigned flags)
{
    return fails("renameat2") ? -1
                              : REAL("renameat2", int (*)(int, const char*, int, const char*,
                                                          unsigned))(fd1, from, fd2, to, flags);
}

int link(const char* from, const char* to)
{
    return fails("linkat") ? -1 : REAL("link", int (*)(const char*, const char*))(from, to);
}

int linkat(int fd1, const char* from, int fd2, const char* to, int flags)
{
    return fails("linkat") ? -1
                           : REAL("linkat", int (*)(int, const char*, int, const char*, int))(
                                 fd1, from, fd2, to, flags);
}

int unlink(const char* path)
{
    return fails("unlink") ? -1 : REAL("unlink", int (*)(const char*))(path);
}

int unlinkat(int dir, const char* path, int flags)
{
    return fails("unlinkat") ? -1
                             : REAL("unlinkat", int (*)(int, const char*, int))(dir, path, flags);
}

ssize_t copy_file_range(int in, off_t* in_at, int out, off_t* out_at, size_t n, unsigned flags)
{
    return fails("copy_file_range")
               ? -1
               : REAL("copy_file_range", ssize_t(*)(int, off_t*, int, off_t*, size_t, unsigned))(
                     in, in_at, out, out_at, n, flags);
}

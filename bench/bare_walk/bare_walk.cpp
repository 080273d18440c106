// SPDX-License-Identifier: GPL-3.0-or-later
// bare_walk ROOT SUFFIX THREADS: counts the files whose text after the first dot equals
// SUFFIX (ASCII case ignored), leaving out folders whose name begins with a dot. Prints the
// count. The smallest program that does the scan's work: the reference for its speed.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

struct Dir
{
    explicit Dir(int f) : fd(f) {}
    ~Dir()
    {
        if (fd >= 0)
            close(fd);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    int fd;
};

std::string g_suffix;

bool matches(const char* name)
{
    const char* dot = std::strchr(name, '.');
    if (!dot || dot == name)
        return false;
    return strcasecmp(dot + 1, g_suffix.c_str()) == 0;
}

bool dot_or_dotdot(const char* n)
{
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

// Reads one folder; calls sub(name) for each folder to enter; returns the hits.
template <typename Sub> long read_dir(int fd, std::vector<char>& buf, Sub&& sub)
{
    long hits = 0;
    for (;;) {
        const long n = getdents64(fd, buf.data(), buf.size());
        if (n <= 0)
            return hits;
        for (long off = 0; off < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(buf.data() + off);
            off += e->d_reclen;
            if (dot_or_dotdot(e->d_name))
                continue;
            if (e->d_type == DT_DIR) {
                if (e->d_name[0] != '.')
                    sub(e->d_name);
            } else if (e->d_type != DT_LNK && matches(e->d_name)) {
                ++hits;
            }
        }
    }
}

long walk_one(int fd, std::vector<char>& buf)
{
    // Names first, then the subfolders: one folder read at a time, as the scan does.
    std::vector<std::string> subs;
    long hits = read_dir(fd, buf, [&subs](const char* n) { subs.emplace_back(n); });
    for (const std::string& s : subs) {
        const Dir child(openat(fd, s.c_str(), kFlags));
        if (child.fd >= 0)
            hits += walk_one(child.fd, buf);
    }
    return hits;
}

struct Work
{
    std::shared_ptr<Dir> parent;
    std::string name;
};

long walk_pool(int rootFd, int threads)
{
    std::mutex m;
    std::condition_variable cv;
    std::vector<Work> stack;
    int busy = 0;
    std::atomic<long> hits{0};
    auto root = std::make_shared<Dir>(rootFd);
    stack.push_back(Work{nullptr, ""});
    auto worker = [&] {
        std::vector<char> buf(64 * 1024);
        std::unique_lock lock(m);
        for (;;) {
            cv.wait(lock, [&] { return !stack.empty() || busy == 0; });
            if (stack.empty())
                return;
            Work w = std::move(stack.back());
            stack.pop_back();
            ++busy;
            lock.unlock();
            std::shared_ptr<Dir> self;
            if (!w.parent)
                self = root;
            else
                self = std::make_shared<Dir>(openat(w.parent->fd, w.name.c_str(), kFlags));
            w.parent.reset();
            std::vector<Work> found;
            if (self->fd >= 0)
                hits += read_dir(self->fd, buf, [&](const char* n) {
                    found.push_back(Work{self, n});
                });
            self.reset();
            lock.lock();
            for (auto it = found.rbegin(); it != found.rend(); ++it)
                stack.push_back(std::move(*it));
            --busy;
            cv.notify_all();
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(std::size_t(threads));
    for (int i = 0; i < threads; ++i)
        pool.emplace_back(worker);
    for (std::thread& t : pool)
        t.join();
    return hits;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bare_walk ROOT SUFFIX THREADS\n");
        return 2;
    }
    g_suffix = argv[2];
    const int threads = std::atoi(argv[3]);
    const int fd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    long hits = 0;
    if (threads <= 1) {
        std::vector<char> buf(64 * 1024);
        hits = walk_one(fd, buf);
        close(fd);
    } else {
        hits = walk_pool(fd, threads);
    }
    std::printf("%ld\n", hits);
    return 0;
}

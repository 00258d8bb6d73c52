// Read-ahead of a file that is about to be loaded (see ZNQPrefetch.h).
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "formats/ZNQPrefetch.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "formats/ZNQFormats.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// ---------------------------------------------------------------------------
// The background reader

namespace {

constexpr size_t kReadAheadPathSize = 4096;
constexpr size_t kReadAheadBlock = size_t(1) << 20;

struct ReadAhead
{
    std::mutex lock;
    std::condition_variable wake; // a request, a stop, or the end of a read
    std::thread thread;
    char pending[kReadAheadPathSize] = {};
    bool hasPending = false;
    bool stopping = false;
    bool busy = false;
    // Bumped by every request and by a stop: the read in progress ends when
    // it no longer matches the value it started with.
    std::atomic<uint64_t> generation{0};
    std::atomic<int64_t> bytesRead{0};
};

// Made once and never destroyed: at exit a thread may still wait on its
// condition variable (a host that never unloads the plug-in), and a
// condition variable must not be destroyed under a waiter.
ReadAhead& State()
{
    static ReadAhead* const state = new ReadAhead;
    return *state;
}

// Opens path for reading, or null. POSIX: non-blocking (a named pipe without
// a writer must not hold the reader) and only a regular file.
FILE* OpenForReadAhead(const char* path)
{
#if defined(_WIN32)
    return FileOpen(path, "rb");
#else
#if defined(O_CLOEXEC)
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#else
    const int fd = open(path, O_RDONLY | O_NONBLOCK);
#endif
    if (fd < 0)
        return nullptr;
    struct stat st;
    FILE* f = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        f = fdopen(fd, "rb");
    if (!f)
        close(fd);
    return f;
#endif
}

void ReadThrough(ReadAhead& ra, const char* path, uint64_t generation, char* buffer)
{
    FILE* f = OpenForReadAhead(path);
    if (!f)
        return;
    for (;;)
    {
        const size_t got = FileRead(buffer, 1, kReadAheadBlock, f);
        ra.bytesRead.fetch_add(static_cast<int64_t>(got), std::memory_order_relaxed);
        if (got < kReadAheadBlock || ra.generation.load(std::memory_order_relaxed) != generation)
            break;
    }
    FileClose(f);
}

void Run(ReadAhead& ra)
{
    char* buffer = static_cast<char*>(std::malloc(kReadAheadBlock));
    char path[kReadAheadPathSize];
    std::unique_lock<std::mutex> hold(ra.lock);
    for (;;)
    {
        ra.wake.wait(hold, [&ra] { return ra.stopping || ra.hasPending; });
        if (ra.stopping)
            break;
        std::memcpy(path, ra.pending, sizeof(path));
        ra.hasPending = false;
        ra.busy = true;
        const uint64_t generation = ra.generation.load();
        hold.unlock();
        if (buffer)
            ReadThrough(ra, path, generation, buffer);
        hold.lock();
        ra.busy = false;
        ra.wake.notify_all();
    }
    std::free(buffer);
}

} // namespace

bool FilePrefetch(const char* path)
{
    if (!path || !path[0])
        return false;
    const size_t length = std::strlen(path);
    if (length >= kReadAheadPathSize)
        return false;
    ReadAhead& ra = State();
    std::lock_guard<std::mutex> hold(ra.lock);
    if (ra.stopping)
        return false;
    if (!ra.thread.joinable())
    {
        try
        {
            ra.thread = std::thread(Run, std::ref(ra));
        }
        catch (const std::system_error&)
        {
            return false; // no thread to be had: nothing is read ahead
        }
    }
    std::memcpy(ra.pending, path, length + 1);
    ra.hasPending = true;
    ra.generation.fetch_add(1);
    ra.wake.notify_all();
    return true;
}

void FilePrefetchStop()
{
    ReadAhead& ra = State();
    std::thread thread;
    {
        std::lock_guard<std::mutex> hold(ra.lock);
        if (!ra.thread.joinable())
            return;
        ra.stopping = true;
        ra.generation.fetch_add(1);
        ra.wake.notify_all();
        thread = std::move(ra.thread);
    }
    thread.join();
    std::lock_guard<std::mutex> hold(ra.lock);
    ra.stopping = false;
    ra.hasPending = false;
    ra.busy = false;
}

bool FilePrefetchIdle()
{
    ReadAhead& ra = State();
    std::lock_guard<std::mutex> hold(ra.lock);
    return !ra.hasPending && !ra.busy;
}

int64_t FilePrefetchBytesRead()
{
    return State().bytesRead.load();
}

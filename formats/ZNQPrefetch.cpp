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
#include <new>
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
constexpr int kReadAheadRequests = 16;

// A waiting request: one per requester (a node), the newest of each.
struct Request
{
    const void* owner;
    uint64_t order; // when it was asked for: the oldest is read first
    char path[kReadAheadPathSize];
};

struct ReadAhead
{
    std::mutex lock;
    std::condition_variable wake; // a request, a stop, or the end of a read
    std::thread thread;
    Request waiting[kReadAheadRequests] = {};
    int numWaiting = 0;
    uint64_t nextOrder = 0;
    bool stopping = false;
    bool busy = false;
    const void* readingFor = nullptr; // the requester of the read in progress
    char readingPath[kReadAheadPathSize] = {}; // and its file
    // Set when the read in progress is to end after its current block: its
    // requester has asked for another file, or the reader stops.
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> bytesRead{0};
};

// Made once in static storage and never destroyed: at exit a thread may
// still wait on its condition variable (a host that never unloads the
// plug-in), and a condition variable must not be destroyed under a waiter.
// Static storage rather than the heap: a module that is unloaded takes it
// along, where a heap block would be left behind.
ReadAhead& State()
{
    alignas(ReadAhead) static unsigned char storage[sizeof(ReadAhead)];
    static ReadAhead* const state = new (storage) ReadAhead;
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

void ReadThrough(ReadAhead& ra, const char* path, char* buffer)
{
    FILE* f = OpenForReadAhead(path);
    if (!f)
        return;
    for (;;)
    {
        const size_t got = FileRead(buffer, 1, kReadAheadBlock, f);
        ra.bytesRead.fetch_add(static_cast<int64_t>(got), std::memory_order_relaxed);
        if (got < kReadAheadBlock || ra.cancel.load(std::memory_order_relaxed))
            break;
    }
    FileClose(f);
}

// Removes waiting request i (lock held).
void DropWaiting(ReadAhead& ra, int i)
{
    for (int k = i + 1; k < ra.numWaiting; ++k)
        ra.waiting[k - 1] = ra.waiting[k];
    --ra.numWaiting;
}

void Run(ReadAhead& ra)
{
    char* buffer = static_cast<char*>(std::malloc(kReadAheadBlock));
    char path[kReadAheadPathSize];
    std::unique_lock<std::mutex> hold(ra.lock);
    for (;;)
    {
        ra.wake.wait(hold, [&ra] { return ra.stopping || ra.numWaiting > 0; });
        if (ra.stopping)
            break;
        // Requests are kept in the order they were made.
        std::memcpy(path, ra.waiting[0].path, sizeof(path));
        std::memcpy(ra.readingPath, path, sizeof(path));
        ra.readingFor = ra.waiting[0].owner;
        DropWaiting(ra, 0);
        ra.busy = true;
        ra.cancel.store(false);
        hold.unlock();
        if (buffer)
            ReadThrough(ra, path, buffer);
        hold.lock();
        ra.busy = false;
        ra.readingFor = nullptr;
        ra.wake.notify_all();
    }
    std::free(buffer);
}

// The requester's earlier request is out of date: playback has moved on.
// Its waiting request is dropped and its read in progress ends, unless that
// read is of the file the requester is loading now: it stays ahead of the
// load. Lock held.
void Withdraw(ReadAhead& ra, const void* owner, const char* loading)
{
    for (int i = 0; i < ra.numWaiting; ++i)
        if (ra.waiting[i].owner == owner)
        {
            DropWaiting(ra, i);
            break;
        }
    if (ra.busy && ra.readingFor == owner && !(loading && std::strcmp(ra.readingPath, loading) == 0))
        ra.cancel.store(true);
}

} // namespace

void FilePrefetchCancel(const void* owner, const char* loading)
{
    ReadAhead& ra = State();
    std::lock_guard<std::mutex> hold(ra.lock);
    Withdraw(ra, owner, loading);
}

bool FilePrefetch(const char* path, const void* owner, const char* loading)
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
    Withdraw(ra, owner, loading);
    if (ra.numWaiting == kReadAheadRequests)
        DropWaiting(ra, 0); // more requesters than places: the oldest waits no more
    Request& r = ra.waiting[ra.numWaiting++];
    r.owner = owner;
    r.order = ra.nextOrder++;
    std::memcpy(r.path, path, length + 1);
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
        ra.cancel.store(true);
        ra.wake.notify_all();
        thread = std::move(ra.thread);
    }
    thread.join();
    std::lock_guard<std::mutex> hold(ra.lock);
    ra.stopping = false;
    ra.numWaiting = 0;
    ra.busy = false;
    ra.readingFor = nullptr;
}

bool FilePrefetchIdle()
{
    ReadAhead& ra = State();
    std::lock_guard<std::mutex> hold(ra.lock);
    return ra.numWaiting == 0 && !ra.busy;
}

int64_t FilePrefetchBytesRead()
{
    return State().bytesRead.load();
}

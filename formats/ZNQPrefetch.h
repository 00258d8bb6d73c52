// Read-ahead of a file that is about to be loaded.
#pragma once

#include <cstdint>

// Queues the file at path for the background reader on behalf of owner (any
// address that names the requester, such as a node; null is one requester
// too) and returns at once:
// the evaluation never waits for the read, nor for the file to be opened
// (on a file server even that is a round trip). True when queued; false for
// a null, empty or too long path (4095 bytes at most) or when the reader's
// thread cannot start. A missing file is no error: the reader finds it
// missing and reads nothing.
//
// The background reader is one thread, started at the first request, that
// reads the file from start to end in 1 MiB blocks into a buffer of its own
// and forgets the data: the operating system keeps what was read in its
// file cache, so the load that follows copies from memory. Reading (rather
// than a hint such as posix_fadvise(POSIX_FADV_WILLNEED), which Linux caps at
// the device's read-ahead size, 128 KiB by default, and which Windows does
// not have) brings in the whole file on every platform and every file
// system. The file is opened read-only with shared read, write and delete
// access (a writer, or a deletion, is never blocked) and, on POSIX systems, non-blocking, so a named
// pipe never holds the reader; only regular files are read. One file at a
// time, in the order asked for; each requester has at most one request: its
// newer one replaces its waiting one and ends its read in progress after the
// current block (its playback has moved on), while other requesters' reads go
// on (several caches in one scene). The read in progress goes on when it is
// of loading, the file the requester loads now (null: none): its playback
// has caught up with the read, which stays ahead of the load. At most 16
// requests wait; beyond that the oldest is dropped. Nothing of a file is
// kept between requests.
bool FilePrefetch(const char* path, const void* owner = nullptr, const char* loading = nullptr);

// Withdraws owner's request as FilePrefetch's next request would, without
// a new one: its waiting request is dropped and its read in progress ends
// after the current block, unless that read is of loading. Other requesters'
// reads go on. Nothing when the reader never ran.
void FilePrefetchCancel(const void* owner, const char* loading = nullptr);

// Ends the read in progress after its current block, drops a waiting
// request and joins the thread. A plug-in calls it before it is unloaded, so
// that none of its code runs afterwards; a later request starts the thread
// again. Safe to call when the reader never ran.
void FilePrefetchStop();

// True when no request waits and no file is being read (tests).
bool FilePrefetchIdle();

// Bytes the reader has read since the process started (tests).
int64_t FilePrefetchBytesRead();

// Read-ahead hint for a file that is about to be loaded.
#pragma once

// Asks the operating system to start reading the file at path into its page
// cache, and returns at once: the file is opened read-only, the hint given and
// the file closed again; nothing of it is read here and nothing is kept.
// Returns true when the hint was given, false when the file cannot be opened
// (a missing file is no error: the caller simply has nothing to prefetch) or
// the platform has no such hint. Never waits for the read itself.
//
// Linux: posix_fadvise(POSIX_FADV_WILLNEED), which queues the read of the
// whole file. macOS: fcntl(F_RDADVISE). Windows: no hint is given (false).
// Windows has no call that only queues a read of a file into its cache; the
// equivalents read on a thread or with overlapped I/O, whose buffers and code
// would outlive the call, and a plug-in's code may be unloaded while such a
// read is still running.
bool FilePrefetch(const char* path);

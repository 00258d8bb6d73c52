// Read-ahead hint for a file that is about to be loaded (see ZNQPrefetch.h).
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "formats/ZNQPrefetch.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool FilePrefetch(const char* path)
{
    if (!path || !path[0])
        return false;
#if defined(_WIN32)
    return false;
#else
    // Non-blocking: a named pipe must not hold the evaluation until someone
    // writes to it. Only regular files get the hint.
#if defined(O_CLOEXEC)
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#else
    const int fd = open(path, O_RDONLY | O_NONBLOCK);
#endif
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        close(fd);
        return false;
    }
    bool given = false;
#if defined(__linux__) || defined(__FreeBSD__)
    given = posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED) == 0;
#elif defined(__APPLE__)
    struct radvisory advice;
    advice.ra_offset = 0;
    const off_t size = lseek(fd, 0, SEEK_END);
    advice.ra_count = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size > 0 ? size : 0);
    given = advice.ra_count > 0 && fcntl(fd, F_RDADVISE, &advice) != -1;
#endif
    close(fd);
    return given;
#endif
}

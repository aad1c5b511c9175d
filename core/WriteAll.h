// Writing a whole buffer to a descriptor.
#ifndef LIBVEXA_X86_CORE_WRITEALL_H
#define LIBVEXA_X86_CORE_WRITEALL_H

#include <unistd.h>

#include <cerrno>
#include <cstddef>

// Writes all `n` bytes with one write call; another follows only if the
// system wrote part of them (a full disk, a signal). Stops at an error.
inline void WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t done = write(fd, p, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;
    p += done;
    n -= static_cast<size_t>(done);
  }
}

#endif  // LIBVEXA_X86_CORE_WRITEALL_H

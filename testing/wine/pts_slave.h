// Which descriptors the Wine test libraries treat as serial ports: pseudo-terminal slaves.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>

// Unix98 pseudo-terminal slaves: majors 136 to 143, 256 minors each.
enum { PTS_MAJOR_FIRST = 136, PTS_MAJOR_LAST = 143, PTS_COUNT = 8 * 256 };

// The slave's number (0 to PTS_COUNT - 1), or -1 when fd is no pseudo-terminal slave.
static inline int pts_index(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
  const unsigned int maj = major(st.st_rdev);
  if (maj < PTS_MAJOR_FIRST || maj > PTS_MAJOR_LAST) return -1;
  const unsigned int index = (maj - PTS_MAJOR_FIRST) * 256 + minor(st.st_rdev);
  return index < PTS_COUNT ? (int)index : -1;
}

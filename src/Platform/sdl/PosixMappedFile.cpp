// Mapped files on Linux: a regular file is mapped read-only with its pages entered at once
// (MAP_POPULATE: one call instead of a page fault for every 4 KiB read); anything else, or a file
// the system will not map, is read into memory (MappedFileRead.cpp).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "Platform/MappedFile.h"

bool MappedFile::open(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    const size_t length = static_cast<size_t>(st.st_size);
    void* at = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (at != MAP_FAILED) {
      ::close(fd);
      mapping_ = at;
      mappedLength_ = length;
      data_ = static_cast<const uint8_t*>(at);
      size_ = length;
      return true;
    }
  }
  FILE* f = fdopen(fd, "rb");
  if (!f) {
    ::close(fd);
    return false;
  }
  return readAll(f);
}

MappedFile::~MappedFile() {
  if (mapping_) munmap(mapping_, mappedLength_);
}

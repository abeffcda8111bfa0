#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A file's bytes for reading, as the system maps them where it can: a large module then loads
// with a few page-table entries instead of a cleared buffer and a copy. Elsewhere (a pipe, a
// platform without mappings) the bytes are read into memory. The backend says which it does.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False with errno holding the system's reason where the file cannot be read (a folder:
  // EISDIR).
  bool open(const char* path);
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  // Reads the rest of an open stdio file into bytes_; the fallback of every backend.
  bool readAll(void* file);

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  void* mapping_ = nullptr;
  size_t mappedLength_ = 0;
  std::vector<uint8_t> bytes_;
};

// Files read into memory where the backend maps none (Windows, the web).
#include <cstdio>

#include "Platform/MappedFile.h"

bool MappedFile::open(const char* path) {
  FILE* f = std::fopen(path, "rb");
  return f && readAll(f);
}

MappedFile::~MappedFile() = default;

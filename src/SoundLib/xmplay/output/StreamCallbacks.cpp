#include "SoundLib/xmplay/output/StreamCallbacks.h"

#include <cstdio>
#include <cstring>

namespace {
StreamCallbacks current{};
uint32_t memoryLength = kDefaultMemoryStreamLength;

void* fileOpen(const void* name) { return std::fopen(static_cast<const char*>(name), "rb"); }
void fileClose(void* handle) { std::fclose(static_cast<FILE*>(handle)); }
int32_t fileRead(void* buffer, int32_t count, void* handle) {
  if (count <= 0) return 0;
  return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), static_cast<FILE*>(handle)));
}
void* fileSeek(void* handle, int32_t offset, int origin) {
  std::fseek(static_cast<FILE*>(handle), offset, origin);
  return handle;
}
int32_t fileTell(void* handle) { return static_cast<int32_t>(std::ftell(static_cast<FILE*>(handle))); }

void* memoryOpen(const void* name) {
  return new MemoryStream{memoryLength, 0, static_cast<const uint8_t*>(name)};
}
void memoryClose(void* handle) { delete static_cast<MemoryStream*>(handle); }
int32_t memoryRead(void* buffer, int32_t count, void* handle) {
  auto* m = static_cast<MemoryStream*>(handle);
  if (count <= 0) return 0;
  int64_t n = count;
  if (m->position + n >= m->length) n = static_cast<int64_t>(m->length) - m->position;
  if (n <= 0 || !m->base) return 0;
  std::memcpy(buffer, m->base + m->position, static_cast<size_t>(n));
  m->position += static_cast<uint32_t>(n);
  return static_cast<int32_t>(n);
}
void* memorySeek(void* handle, int32_t offset, int origin) {
  auto* m = static_cast<MemoryStream*>(handle);
  int64_t position = m->position;
  switch (origin) {
    case 0: position = offset; break;
    case 1: position += offset; break;
    case 2: position = static_cast<int64_t>(m->length) + offset; break;
    default: break;
  }
  if (position < 0) position = 0;
  if (position > m->length) position = m->length;
  m->position = static_cast<uint32_t>(position);
  return handle;
}
int32_t memoryTell(void* handle) { return static_cast<int32_t>(static_cast<MemoryStream*>(handle)->position); }
}  // namespace

const StreamCallbacks kFileStreamCallbacks{fileOpen, fileClose, fileRead, fileSeek, fileTell};
const StreamCallbacks kMemoryStreamCallbacks{memoryOpen, memoryClose, memoryRead, memorySeek, memoryTell};

const StreamCallbacks& streamCallbacks() { return current; }

void installStreamCallbacks(const StreamCallbacks& set) { current = set.complete() ? set : StreamCallbacks{}; }

void setMemoryStreamLength(uint32_t length) { memoryLength = length; }
uint32_t memoryStreamLength() { return memoryLength; }

Stream* streamOpen(const void* name, uint8_t kind, int32_t user) {
  if (!current.complete()) return nullptr;
  auto* stream = new Stream{kind, nullptr, user};
  stream->handle = current.open(name);
  if (!stream->handle) {
    delete stream;
    return nullptr;
  }
  return stream;
}

void streamClose(Stream* stream) {
  if (!stream) return;
  current.close(stream->handle);
  delete stream;
}

int32_t streamRead(void* buffer, int32_t count, Stream* stream) {
  return stream ? current.read(buffer, count, stream->handle) : 0;
}

void streamSeek(Stream* stream, int32_t offset, int origin) {
  if (stream) current.seek(stream->handle, offset, origin);
}

int32_t streamTell(Stream* stream) { return stream ? current.tell(stream->handle) : 0; }

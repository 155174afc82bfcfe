#include "plugins/field3dio/ByteSource.h"

#include <algorithm>
#include <cstring>

#include "support/platform/Platform.h"

namespace Field3dIo {

bool MemoryByteSource::read(unsigned long long offset, void* out, unsigned long long count) {
  if (!contains(offset, count)) return false;
  if (count) std::memcpy(out, data_ + offset, static_cast<size_t>(count));
  return true;
}

std::unique_ptr<FileByteSource> FileByteSource::Open(const char* path) {
  std::FILE* file = orv::platform::OpenFile(path, "rb");
  if (!file) return nullptr;
  long long size = -1;
  if (orv::platform::Seek64(file, 0, SEEK_END) == 0) size = orv::platform::Tell64(file);
  if (size < 0) {
    std::fclose(file);
    return nullptr;
  }
  return std::unique_ptr<FileByteSource>(new FileByteSource(file, static_cast<unsigned long long>(size)));
}

FileByteSource::~FileByteSource() { std::fclose(file_); }

bool FileByteSource::readDirect(unsigned long long offset, void* out, unsigned long long count) {
  if (orv::platform::Seek64(file_, static_cast<long long>(offset), SEEK_SET) != 0) return false;
  return std::fread(out, 1, static_cast<size_t>(count), file_) == count;
}

bool FileByteSource::read(unsigned long long offset, void* out, unsigned long long count) {
  constexpr unsigned long long kWindowBytes = 64 << 10;
  if (!contains(offset, count)) return false;
  if (count == 0) return true;
  if (count > kWindowBytes / 2) return readDirect(offset, out, count);
  if (offset < windowStart_ || offset + count > windowStart_ + window_.size()) {
    window_.resize(static_cast<size_t>(std::min(kWindowBytes, size_ - offset)));
    windowStart_ = offset;
    if (!readDirect(offset, window_.data(), window_.size())) {
      window_.clear();
      return false;
    }
  }
  std::memcpy(out, window_.data() + (offset - windowStart_), static_cast<size_t>(count));
  return true;
}

}  // namespace Field3dIo

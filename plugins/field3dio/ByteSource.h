// Random access to the bytes of a Field3D file, on disk or in memory. Every read names its range
// and fails unless the whole range lies inside the source, so no caller can read past the end.
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

namespace Field3dIo {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual unsigned long long size() const = 0;
  // Copies [offset, offset + count) to `out`; false when the range is not wholly inside the
  // source or cannot be read.
  virtual bool read(unsigned long long offset, void* out, unsigned long long count) = 0;

 protected:
  bool contains(unsigned long long offset, unsigned long long count) const {
    return offset <= size() && count <= size() - offset;
  }
};

// A buffer the caller keeps alive for the source's lifetime.
class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const void* data, unsigned long long size)
      : data_(static_cast<const unsigned char*>(data)), size_(size) {}
  unsigned long long size() const override { return size_; }
  bool read(unsigned long long offset, void* out, unsigned long long count) override;
  const unsigned char* data() const { return data_; }

 private:
  const unsigned char* data_;
  unsigned long long size_;
};

// A file opened through the platform layer, read on the calling thread only. Small reads are
// served from a window of the file kept in memory, so walking a tree of many small records costs
// few system calls.
class FileByteSource : public ByteSource {
 public:
  // Null when the file cannot be opened or its size cannot be found.
  static std::unique_ptr<FileByteSource> Open(const char* path);
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  unsigned long long size() const override { return size_; }
  bool read(unsigned long long offset, void* out, unsigned long long count) override;

 private:
  FileByteSource(std::FILE* file, unsigned long long size) : file_(file), size_(size) {}
  bool readDirect(unsigned long long offset, void* out, unsigned long long count);

  std::FILE* file_;
  unsigned long long size_;
  std::vector<unsigned char> window_;
  unsigned long long windowStart_ = 0;
};

}  // namespace Field3dIo

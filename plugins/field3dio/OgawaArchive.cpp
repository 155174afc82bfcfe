#include "plugins/field3dio/OgawaArchive.h"

#include <cstring>

#include "codecs/ByteCursor.h"

namespace Field3dIo {

namespace {

constexpr unsigned char kMagic[5] = {'O', 'g', 'a', 'w', 'a'};
constexpr unsigned char kFrozen = 0xff;
constexpr unsigned kVersion = 1;

bool readU64At(ByteSource& source, uint64_t offset, uint64_t& value) {
  unsigned char bytes[8];
  if (!source.read(offset, bytes, 8)) return false;
  orv::ByteCursor cursor(bytes, bytes + 8);
  return cursor.readU64(value);
}

}  // namespace

OgawaArchive::Status OgawaArchive::open(std::string& reason) {
  unsigned char header[kHeaderBytes];
  if (!source_.read(0, header, sizeof header) || std::memcmp(header, kMagic, sizeof kMagic) != 0) {
    reason = "not an Ogawa file";
    return Status::NotOgawa;
  }
  orv::ByteCursor cursor(header + 5, header + sizeof header);
  unsigned char frozen = 0, versionHigh = 0, versionLow = 0;
  cursor.readU8(frozen);
  cursor.readU8(versionHigh);
  cursor.readU8(versionLow);
  cursor.readU64(root_);
  if (frozen != kFrozen) {
    reason = "the file is still being written (its Ogawa header is not frozen)";
    return Status::Unfinished;
  }
  const unsigned version = (static_cast<unsigned>(versionHigh) << 8) | versionLow;
  if (version != kVersion) {
    reason = "Ogawa version " + std::to_string(version) + " is not supported";
    return Status::Unsupported;
  }
  uint64_t count = 0;
  std::vector<uint64_t> none;
  if (root_ < kHeaderBytes || IsData(root_) || !children(root_, 0, none, count)) {
    reason = "the root group lies outside the file";
    return Status::Broken;
  }
  return Status::Ok;
}

bool OgawaArchive::children(uint64_t ref, uint64_t limit, std::vector<uint64_t>& out,
                            uint64_t& count) {
  out.clear();
  count = 0;
  if (ref < kHeaderBytes || IsData(ref) || !readU64At(source_, ref, count)) return false;
  const uint64_t room = source_.size() - ref - 8;  // readU64At proved ref + 8 <= size
  if (count > room / 8) return false;
  const uint64_t taken = count < limit ? count : limit;
  if (taken == 0) return true;
  std::vector<unsigned char> bytes(static_cast<size_t>(taken * 8));
  if (!source_.read(ref + 8, bytes.data(), bytes.size())) return false;
  orv::ByteCursor cursor(bytes.data(), bytes.data() + bytes.size());
  out.resize(static_cast<size_t>(taken));
  for (uint64_t& child : out) cursor.readU64(child);
  return true;
}

bool OgawaArchive::dataLength(uint64_t ref, uint64_t& length) {
  length = 0;
  const uint64_t offset = ref & ~kDataBit;
  if (offset == 0) return true;  // the empty data
  if (offset < kHeaderBytes || !readU64At(source_, offset, length)) return false;
  return length <= source_.size() - offset - 8;
}

bool OgawaArchive::readData(uint64_t ref, void* out, uint64_t length) {
  uint64_t stored = 0;
  if (!dataLength(ref, stored) || stored != length) return false;
  return length == 0 || source_.read((ref & ~kDataBit) + 8, out, length);
}

bool OgawaArchive::readDataPart(uint64_t ref, uint64_t skip, void* out, uint64_t count) {
  uint64_t stored = 0;
  if (!dataLength(ref, stored) || skip > stored || count > stored - skip) return false;
  return count == 0 || source_.read((ref & ~kDataBit) + 8 + skip, out, count);
}

}  // namespace Field3dIo

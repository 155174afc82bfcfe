// The Ogawa container: a 16-byte header ("Ogawa", the frozen byte, version 1, the root group's
// offset) and records addressed by absolute offsets. A group record is a u64 count and that many
// u64 child references; a data record is a u64 length and that many bytes. In a reference, bit 63
// marks data; the whole value 0 is the empty group, and bit 63 alone the empty data.
//
// Every record is checked against the source's size before anything is read or allocated for it,
// so a damaged file can only produce a refusal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/field3dio/ByteSource.h"

namespace Field3dIo {

class OgawaArchive {
 public:
  static constexpr uint64_t kDataBit = 1ull << 63;
  static constexpr unsigned kHeaderBytes = 16;

  enum class Status {
    Ok,
    NotOgawa,    // the magic is missing
    Unfinished,   // the writer has not closed the file (frozen byte 0)
    Unsupported,  // a format version other than 1
    Broken,       // the root lies outside the file
  };

  explicit OgawaArchive(ByteSource& source) : source_(source) {}

  // Reads and checks the header; `reason` says why when the result is not Ok.
  Status open(std::string& reason);
  uint64_t root() const { return root_; }

  static bool IsData(uint64_t ref) { return (ref & kDataBit) != 0; }

  // The child references of the group `ref` (a group reference, not 0), at most `limit` of them,
  // and the count the record states. False when the record does not lie wholly inside the file.
  bool children(uint64_t ref, uint64_t limit, std::vector<uint64_t>& out, uint64_t& count);
  // The payload length of the data `ref`; false when its record does not lie inside the file.
  bool dataLength(uint64_t ref, uint64_t& length);
  // Reads exactly `length` payload bytes of the data `ref` (its length must be `length`).
  bool readData(uint64_t ref, void* out, uint64_t length);
  // Reads payload bytes [skip, skip + count) of the data `ref`.
  bool readDataPart(uint64_t ref, uint64_t skip, void* out, uint64_t count);

 private:
  ByteSource& source_;
  uint64_t root_ = 0;
};

}  // namespace Field3dIo

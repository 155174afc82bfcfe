// Types that cross between the loader and its IO plug-ins: the channel mappings handed to an
// import, the grids a plug-in reports for a file, and the entry points a plug-in exports.
//
// A plug-in receives the loader's own arrays of these types, so their layouts are part of the
// binary interface. GridName owns its text through one character pointer and may be relocated by a
// byte copy, which is how CvnArray moves its elements.
#pragma once

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "orv/Api.h"

namespace KUtils {
class ThreadManager;
}
namespace CVNUtils {
template <typename T>
struct IsByteMovable;
template <typename T, typename Index, int A, int B>
class CvnArray;
}  // namespace CVNUtils
class CorvaneFrameData;

namespace CacheIO {

// An owned, NUL-terminated 8-bit string held through a single pointer. Storage comes from malloc
// so that text allocated on one side of the plug-in boundary can be freed on the other.
class GridName {
 public:
  GridName() = default;
  GridName(const char* text) { assign(text); }
  GridName(const GridName& other) { assign(other.text_); }
  GridName(GridName&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
  GridName& operator=(const GridName& other) {
    if (this != &other) assign(other.text_);
    return *this;
  }
  GridName& operator=(GridName&& other) noexcept {
    if (this != &other) {
      std::free(text_);
      text_ = other.text_;
      other.text_ = nullptr;
    }
    return *this;
  }
  ~GridName() { std::free(text_); }

  // Replaces the text with the first `length` bytes of `text`; false (text emptied) when memory
  // runs out.
  bool assign(const char* text, std::size_t length) {
    std::free(text_);
    text_ = nullptr;
    if (!text) return true;
    text_ = static_cast<char*>(std::malloc(length + 1));
    if (!text_) return false;
    std::memcpy(text_, text, length);
    text_[length] = '\0';
    return true;
  }
  bool assign(const char* text) { return assign(text, text ? std::strlen(text) : 0); }

  const char* c_str() const { return text_ ? text_ : ""; }
  bool empty() const { return !text_ || !*text_; }
  bool equals(const char* text) const { return std::strcmp(c_str(), text ? text : "") == 0; }

 private:
  char* text_ = nullptr;
};

// One grid feeding one channel of a frame.
struct GridMapping {
  GridName name;
  int channel = -1;
  float scale = 1.0f;
};

// One grid a plug-in found in a file. A grid with flag 0 may serve as the density fallback of the
// default mappings; plug-ins set 1 for components of vector grids.
struct AvailableChannels {
  GridName name;
  unsigned char flag = 0;
};

using AvailableChannelArray = CVNUtils::CvnArray<AvailableChannels, int, 0, 1>;

// Entry points of an IO plug-in, exported with C linkage under these names: "Initialize",
// "SetThreadManager", "ReleaseThreadManager", "ImportFrameVDB" (openvdbio), "ImportFrameF3D"
// (field3dio), "GetAvailableChannels" and, optionally, "ExportFrame" (openvdbio, never called).
// Every int result is 0 on success.
using InitializeFunction = int (*)();
using SetThreadManagerFunction = int (*)(KUtils::ThreadManager* manager);
using ReleaseThreadManagerFunction = int (*)();
using ImportFrameF3DFunction = int (*)(const char* path, CorvaneFrameData* frame, bool mode,
                                       GridMapping* mappings, int mappingCount);
using ImportFrameVDBFunction = int (*)(const char* path, CorvaneFrameData* frame, void* scratch,
                                       bool mode, GridMapping* mappings, int mappingCount,
                                       long long maxVoxels);
using GetAvailableChannelsFunction = int (*)(const char* path, AvailableChannelArray* grids);
using ExportFrameFunction = int (*)();

}  // namespace CacheIO

template <>
struct CVNUtils::IsByteMovable<CacheIO::GridName> : std::true_type {};
template <>
struct CVNUtils::IsByteMovable<CacheIO::GridMapping> : std::true_type {};
template <>
struct CVNUtils::IsByteMovable<CacheIO::AvailableChannels> : std::true_type {};

// Enumeration of the files a frame pattern names, and the collection of the grids that the IO
// plug-ins report for them.
#pragma once

#include <climits>
#include <string>

#include "orv/CacheIO.h"
#include "support/CvnArray.h"

namespace CorvaneEnum {

// Walks the files that a pattern names and calls onFile for each accepted one. Modes: 2 exact
// (the requested frame only), 0 every file of the wildcard, anything else every file whose name is
// the pattern expanded for its own frame number.
class EnumFiles {
 public:
  EnumFiles() = default;
  virtual ~EnumFiles() = default;
  virtual void begin(const char* /*pattern*/, int /*mode*/) {}
  // Default choice: ignores files without a frame number; with exactMatch only the requested
  // frame, otherwise the file nearest to the requested frame (the first seen on a tie).
  virtual bool onFile(int frame, const char* fileName);

  // False for a null pattern, and for a pattern that names no existing file.
  bool Enumerate(const char* pattern, int mode);

  std::string acceptedName;
  int chosenFrame = INT_MIN;
  int requestedFrame = INT_MIN;
  int exactMatch = 1;

 private:
  // Step over a listing: each file whose frame number fits `pattern` (any file in mode 0).
  void offerFiles(const std::string& pattern, int mode, const struct StringListView& files);
};

// Appends to `target` the grids the bound plug-in of each file reports, each name once (the first
// file to report a name decides its flag).
class Find3rdPartyCacheChannelsEnum : public EnumFiles {
 public:
  explicit Find3rdPartyCacheChannelsEnum(CacheIO::AvailableChannelArray* target)
      : target_(target) {}
  bool onFile(int frame, const char* fileName) override;

 private:
  CacheIO::AvailableChannelArray* target_;
};

// The grids of every cache file `path` names (enumeration mode -1), merged by name.
void CollectAvailableChannels(const char* path, CacheIO::AvailableChannelArray& target);

}  // namespace CorvaneEnum

// An owned list of owned 8-bit strings.
#pragma once

#include "support/CvnArray.h"

class StringList {
 public:
  StringList() = default;
  ~StringList() { Free(); }
  StringList(const StringList&) = delete;
  StringList& operator=(const StringList&) = delete;

  int count() const { return strings_.count; }
  // The string at `index`; null outside 0 to count() - 1.
  const char* at(int index) const;
  // Appends a copy of `text`; false when memory is exhausted.
  bool Append(const char* text);
  // Frees every string, then the array.
  void Free();
  // Replaces the contents with those of `other`, which is left empty.
  void TakeFrom(StringList& other);

 private:
  CVNUtils::CvnArray<char*, int> strings_;
};

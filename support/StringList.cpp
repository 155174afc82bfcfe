#include "support/StringList.h"

#include <cstring>

#include "support/Allocation.h"

const char* StringList::at(int index) const {
  if (index < 0 || index >= strings_.count) return nullptr;
  return strings_[index];
}

bool StringList::Append(const char* text) {
  if (!text) return false;
  const size_t length = std::strlen(text);
  char* copy = nullptr;
  if (!newArray(copy, static_cast<unsigned long long>(length) + 1)) return false;
  std::memcpy(copy, text, length + 1);
  if (!strings_.Append(copy)) {
    deleteArray(copy);
    return false;
  }
  return true;
}

void StringList::Free() {
  for (int i = 0; i < strings_.count; ++i) deleteArray(strings_[i]);
  strings_.Clear();
}

void StringList::TakeFrom(StringList& other) {
  if (&other == this) return;
  Free();
  strings_ = std::move(other.strings_);
}

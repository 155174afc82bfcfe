// Mapping strings: parsing any text, formatting the result back, and the four exported string
// functions with every small output size. Paths stay inside one scratch directory so the
// enumeration behind the default mapping never walks the rest of the file system.

#include <cstring>
#include <string>
#include <vector>

#include "fuzz/targets/FuzzCheck.h"
#include "fuzz/targets/FuzzTargets.h"
#include "loader/ChannelMappings.h"
#include "orv/OrvLoader.h"
#include "tools/testing/ScratchFolder.h"

namespace {

constexpr int kMaxEntries = 64;

const std::string& scratchDirectory() {
  static const ScratchFolder folder("orv-fuzz-maps");
  static const std::string path = folder.path().string();
  return path;
}

// A file name of the input confined to the scratch directory: separators become '_'.
std::string confinedPath(std::string name) {
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  return scratchDirectory() + "/" + name;
}

// Output sizes around the needed one: 1 exactly when the text fitted, always terminated.
template <typename Call>
void checkOutputSizes(Call call, size_t needed) {
  for (int size : {0, 1, 2, static_cast<int>(needed), static_cast<int>(needed) + 1}) {
    std::vector<char> out(static_cast<size_t>(size) + 1, 'x');
    const int result = call(size > 0 ? out.data() : nullptr, size);
    FUZZ_CHECK(result == 1 || result == 0 || result == -1);
    if (result >= 0) FUZZ_CHECK(result == (size > 0 && needed < static_cast<size_t>(size)));
    if (size > 0 && result >= 0) FUZZ_CHECK(std::memchr(out.data(), '\0', size) != nullptr);
    FUZZ_CHECK(out[static_cast<size_t>(size)] == 'x');
  }
}

void parseAndFormat(const std::string& text) {
  CorvaneMappings::GridMappingArray entries;
  FUZZ_CHECK(CorvaneMappings::ParseChannelMappings(text.c_str(), entries));
  const std::string formatted = CorvaneMappings::FormatChannelMappings(entries);
  // Formatting is canonical: parsing the formatted text gives it back unchanged unless a name
  // carried a ',' or the id text was not a plain number.
  CorvaneMappings::GridMappingArray again;
  FUZZ_CHECK(CorvaneMappings::ParseChannelMappings(formatted.c_str(), again));
  bool plainNames = true;
  for (const CacheIO::GridMapping& entry : entries) {
    plainNames = plainNames && std::strchr(entry.name.c_str(), ',') == nullptr;
  }
  if (plainNames) {
    FUZZ_CHECK(again.size() == entries.size());
    FUZZ_CHECK(CorvaneMappings::FormatChannelMappings(again) == formatted);
  }

  for (int index = -1; index <= entries.size() && index < kMaxEntries; ++index) {
    int id = 0;
    const bool inRange = index >= 0 && index < entries.size();
    const size_t needed = inRange ? std::strlen(entries[index].name.c_str()) : 0;
    checkOutputSizes(
        [&](char* out, int size) {
          const int result = orvDecomposeChannelMappingsString(&id, out, size, text.c_str(), index);
          if (!inRange) FUZZ_CHECK(result == -1);
          return result;
        },
        needed);
  }

  std::vector<int> ids;
  std::vector<const char*> names;
  for (int k = 0; k < entries.size() && k < kMaxEntries; ++k) {
    ids.push_back(entries[k].channel);
    names.push_back(entries[k].name.c_str());
  }
  std::string composed;
  for (size_t k = 0; k < ids.size(); ++k) {
    composed += std::to_string(ids[k]) + ',' + names[k] + ';';
  }
  checkOutputSizes(
      [&](char* out, int size) {
        const int result = orvComposeChannelMappingsString(out, size, ids.data(), names.data(),
                                                           static_cast<int>(ids.size()));
        if (result == 1) FUZZ_CHECK(composed == out);
        return result;
      },
      composed.size());
}

void exportsOnPath(const std::string& name, int index) {
  const std::string path = confinedPath(name);
  const std::string expected = DefaultChannelMappings(path.c_str());
  checkOutputSizes(
      [&](char* out, int size) {
        return orvGenerateDefaultChannelMappings(out, size, path.c_str());
      },
      expected.size());
  int flag = 0;
  char out[64];
  const int result = orvGet3rdPartyChannelName(out, sizeof out, &flag, path.c_str(), index);
  FUZZ_CHECK(result == -1 || result == 0 || result == 1);
}

}  // namespace

int FuzzChannelMappings(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const int index = static_cast<int8_t>(in.u8());
  const std::string name = in.text();
  parseAndFormat(in.text());
  exportsOnPath(name, index);
  return 0;
}

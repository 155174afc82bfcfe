#include "python/src/ChannelKeys.h"

#include <algorithm>
#include <functional>

#include "converter/ChannelNames.h"

namespace orvpy {
namespace {

constexpr int kChannelSlots = 32;

std::string asKey(std::string name) {
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

int idOfKey(const std::string& key, const std::function<std::string(int)>& keyOf) {
  for (int id = 0; id < kChannelSlots; ++id) {
    if (keyOf(id) == key) return id;
  }
  return -1;
}

}  // namespace

std::string GridChannelKey(int id) { return asKey(GridChannelName(id)); }
int GridChannelFromKey(const std::string& key) { return idOfKey(key, GridChannelKey); }
std::string ParticleChannelKey(int channel) { return asKey(ParticleChannelName(channel)); }
int ParticleChannelFromKey(const std::string& key) { return idOfKey(key, ParticleChannelKey); }

int ChannelIdArgument(const pybind11::handle& key, int (*fromKey)(const std::string&),
                      const char* kind) {
  if (pybind11::isinstance<pybind11::str>(key)) {
    const std::string name = key.cast<std::string>();
    const int id = fromKey(name);
    if (id < 0)
      throw pybind11::key_error(std::string("no ") + kind + " channel is named '" + name + "'");
    return id;
  }
  const int id = key.cast<int>();
  if (id < 0 || id >= kChannelSlots) {
    throw pybind11::key_error(std::string(kind) + " channel ids are 0..31, not " +
                              std::to_string(id));
  }
  return id;
}

}  // namespace orvpy

// An in-memory IOrv for driving the export directly: channels are plain arrays, and a channel can
// be declared present yet unavailable, as a frame whose stored channel fails to expand.
#pragma once

#include <map>
#include <vector>

#include "orv/IOrv.h"

class MemoryFrame : public IOrv {
 public:
  MemoryFrame(int nx, int ny, int nz) : size_{nx, ny, nz} {}

  long long cellCount() const { return static_cast<long long>(size_[0]) * size_[1] * size_[2]; }
  const int* size() const { return size_; }

  // Adds channel id with values from generator(linear index).
  template <typename Generator>
  const std::vector<float>& addChannel(int id, Generator generator) {
    std::vector<float>& values = channels_[id];
    values.resize(static_cast<size_t>(cellCount()));
    for (long long d = 0; d < cellCount(); ++d) values[static_cast<size_t>(d)] = generator(d);
    return values;
  }
  void addBrokenChannel(int id) { broken_[id] = true; }
  void setTransform(const float (&transform)[12]) {
    for (int e = 0; e < 12; ++e) transform_[e] = transform[e];
  }
  int channelRequests(int id) const {
    auto found = requests_.find(id);
    return found == requests_.end() ? 0 : found->second;
  }

  const float* getChannel(int id) override {
    ++requests_[id];
    auto found = channels_.find(id);
    return found == channels_.end() ? nullptr : found->second.data();
  }
  int hasChannel(int id) override { return channels_.count(id) || broken_.count(id) ? 1 : 0; }
  void getGridSize(int* out) override {
    for (int a = 0; a < 3; ++a) out[a] = size_[a];
  }
  void getTransform(float* out) override {
    for (int e = 0; e < 12; ++e) out[e] = transform_[e];
  }
  int getParticleGroupCount() override { return 0; }
  ICorvanePrtGroup* getParticleGroup(int) override { return nullptr; }
  ICorvanePrtGroup* findParticleGroup(const char*) override { return nullptr; }

 private:
  int size_[3];
  float transform_[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  std::map<int, std::vector<float>> channels_;
  std::map<int, bool> broken_;
  std::map<int, int> requests_;
};

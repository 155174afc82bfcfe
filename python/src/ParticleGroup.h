// orv.ParticleGroup: one particle group of a frame. Its channels are read into new numpy arrays.
#pragma once

#include <pybind11/pybind11.h>

class ICorvanePrtGroup;

namespace orvpy {

class ParticleGroup {
 public:
  // `frame` is the orv.Frame the group belongs to; it stays alive as long as the group.
  ParticleGroup(pybind11::object frame, ICorvanePrtGroup* group)
      : frame_(std::move(frame)), group_(group) {}

  // The group, while its frame is open (ValueError otherwise).
  ICorvanePrtGroup& library() const;
  pybind11::object frame() const { return frame_; }

 private:
  pybind11::object frame_;
  ICorvanePrtGroup* group_;
};

void BindParticleGroup(pybind11::module_& module);

}  // namespace orvpy

// One loaded simulation frame, as a host sees it. The operations and their order are part of the
// binary interface shared with separately built hosts.
#pragma once

#include "orv/Api.h"
#include "orv/ICorvanePrtGroup.h"

class ORV_API IOrv {
 public:
  // Dense nx*ny*nz floats, x fastest; expanded on first request; null when unavailable.
  virtual const float* getChannel(int id) = 0;
  virtual int hasChannel(int id) = 0;
  virtual void getGridSize(int* out) = 0;
  // Twelve floats: 3x3 world-to-grid matrix row by row, then the translation.
  virtual void getTransform(float* out) = 0;
  virtual int getParticleGroupCount() = 0;
  virtual ICorvanePrtGroup* getParticleGroup(int index) = 0;
  virtual ICorvanePrtGroup* findParticleGroup(const char* name) = 0;
  virtual ~IOrv() = default;
};

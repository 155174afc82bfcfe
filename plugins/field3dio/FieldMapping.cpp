#include "plugins/field3dio/FieldMapping.h"

#include <algorithm>
#include <vector>

namespace Field3dIo {

namespace {

struct TimeSample {
  double time;
  Matrix4 matrix;
};

bool readMatrix(Field3dContainer& file, NodeId mapping, const std::string& name, Matrix4& out) {
  return file.reals(mapping, name.c_str(), out.m, 16);
}

// The matrix curve at time 0.
Matrix4 atTimeZero(std::vector<TimeSample> samples) {
  std::stable_sort(samples.begin(), samples.end(),
                   [](const TimeSample& a, const TimeSample& b) { return a.time < b.time; });
  if (!(samples.front().time < 0.0)) return samples.front().matrix;
  if (!(samples.back().time > 0.0)) return samples.back().matrix;
  size_t upper = 1;
  while (samples[upper].time <= 0.0) ++upper;
  const TimeSample& a = samples[upper - 1];
  const TimeSample& b = samples[upper];
  const double t = (0.0 - a.time) / (b.time - a.time);
  Matrix4 out;
  for (int e = 0; e < 16; ++e) out.m[e] = a.matrix.m[e] * (1.0 - t) + b.matrix.m[e] * t;
  return out;
}

bool readMatrixMapping(Field3dContainer& file, NodeId mapping, Matrix4& out, std::string& reason) {
  if (readMatrix(file, mapping, "MatrixFieldMapping data", out)) return true;
  long long count = 0;
  if (!file.integers(mapping, "num_time_samples", &count, 1)) {
    reason = "its matrix mapping has no time samples";
    return false;
  }
  if (count < 0) {
    reason = "its matrix mapping has a negative sample count";
    return false;
  }
  if (count == 0) {
    out = Matrix4();
    return true;
  }
  std::vector<TimeSample> samples;
  for (long long s = 0; s < count; ++s) {
    TimeSample sample;
    const std::string index = std::to_string(s);
    if (!file.reals(mapping, ("time_" + index).c_str(), &sample.time, 1) ||
        !readMatrix(file, mapping, "matrix_" + index, sample.matrix)) {
      reason = "its matrix mapping lacks sample " + index;
      return false;
    }
    samples.push_back(sample);
  }
  out = atTimeZero(samples);
  return true;
}

}  // namespace

bool ReadLocalToWorld(Field3dContainer& file, NodeId mapping, Matrix4& localToWorld, std::string& reason) {
  std::string type;
  if (!file.text(mapping, "mapping_type", type)) {
    reason = "its mapping has no type";
    return false;
  }
  bool read = false;
  if (type == "NullFieldMapping") {
    localToWorld = Matrix4();
    read = true;
  } else if (type == "MatrixFieldMapping") {
    read = readMatrixMapping(file, mapping, localToWorld, reason);
  } else {
    reason = "its mapping " + type + " is not an affine mapping";
  }
  if (read && !IsAffine(localToWorld)) {
    reason = "its mapping matrix is not affine";
    return false;
  }
  return read;
}

Matrix4 VoxelToWorld(const long long extentsMin[3], const long long extentsMax[3], const Matrix4& localToWorld) {
  Matrix4 voxelToLocal;
  for (int a = 0; a < 3; ++a) {
    const double resolution = static_cast<double>(extentsMax[a] - extentsMin[a] + 1);
    voxelToLocal.at(a, a) = 1.0 / resolution;
    voxelToLocal.at(3, a) = -static_cast<double>(extentsMin[a]) / resolution;
  }
  return Then(voxelToLocal, localToWorld);
}

}  // namespace Field3dIo

#include "python/src/Frame.h"

#include <array>
#include <cmath>
#include <mutex>

#include "orv/IOrv.h"
#include "python/src/ChannelKeys.h"
#include "python/src/Errors.h"
#include "python/src/LibraryLog.h"
#include "python/src/ParticleGroup.h"

namespace py = pybind11;

namespace orvpy {
namespace {

constexpr int kVelocityX = 4;
constexpr int kChannelSlots = 32;

[[noreturn]] void raiseClosed() { throw py::value_error("I/O operation on a closed orv.Frame"); }

std::array<int, 3> resolutionOf(IOrv& frame) {
  std::array<int, 3> size{};
  frame.getGridSize(size.data());
  return size;
}

// World to index as a 4x4 matrix acting on column vectors: the library stores a 3x3 matrix M
// and a translation t for row vectors (index = p * M + t), so the upper block is M transposed.
std::array<std::array<double, 4>, 4> worldToIndex(IOrv& frame) {
  float m[12];
  frame.getTransform(m);
  std::array<std::array<double, 4>, 4> a{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) a[r][c] = m[3 * c + r];
    a[r][3] = m[9 + r];
  }
  a[3][3] = 1.0;
  return a;
}

// Inverse of an affine 4x4 matrix in double precision; NaN everywhere when it has none.
std::array<std::array<double, 4>, 4> invertAffine(const std::array<std::array<double, 4>, 4>& a) {
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  std::array<std::array<double, 4>, 4> inverse{};
  if (det == 0.0 || !std::isfinite(det)) {
    for (auto& row : inverse) row.fill(NAN);
    return inverse;
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      inverse[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
    }
  }
  for (int r = 0; r < 3; ++r) {
    inverse[r][3] = -(inverse[r][0] * a[0][3] + inverse[r][1] * a[1][3] + inverse[r][2] * a[2][3]);
  }
  inverse[3][3] = 1.0;
  return inverse;
}

py::array_t<double> toArray(const std::array<std::array<double, 4>, 4>& a) {
  py::array_t<double> out({4, 4});
  auto cells = out.mutable_unchecked<2>();
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) cells(r, c) = a[r][c];
  }
  return out;
}

std::vector<py::ssize_t> gridShape(const std::array<int, 3>& size) {
  return {size[2], size[1], size[0]};
}

// The decoded array of channel id, or an exception: KeyError when the frame has no such channel,
// OrvError when the library could not decode it. Runs without the interpreter lock.
const float* decodedChannel(Frame& frame, const Frame::Use& use, int id) {
  const float* values = nullptr;
  int present = 0;
  std::vector<std::string> log;
  {
    py::gil_scoped_release unlocked;
    LogWindow window;
    values = use.library().getChannel(id);
    if (!values) {
      present = use.library().hasChannel(id);
      log = window.lines();
    }
  }
  if (values) return values;
  const std::string name = GridChannelKey(id);
  if (!present) throw py::key_error(frame.path() + " has no channel '" + name + "'");
  RaiseOrvError("channel '" + name + "' of " + frame.path() + " cannot be decoded", 0, log);
}

py::array channelView(py::object self, const py::handle& key) {
  Frame& frame = self.cast<Frame&>();
  const int id = ChannelIdArgument(key, GridChannelFromKey, "grid");
  const Frame::Use use(frame);
  const float* values = decodedChannel(frame, use, id);
  const std::array<int, 3> size = resolutionOf(use.library());
  const py::ssize_t item = sizeof(float);
  py::array view(py::dtype::of<float>(), gridShape(size),
                 {item * size[0] * size[1], item * size[0], item}, values, self);
  py::detail::array_proxy(view.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  frame.addView(view);
  return view;
}

py::array velocityCopy(Frame& frame) {
  const Frame::Use use(frame);
  const float* components[3];
  for (int c = 0; c < 3; ++c) components[c] = decodedChannel(frame, use, kVelocityX + c);
  const std::array<int, 3> size = resolutionOf(use.library());
  std::vector<py::ssize_t> shape = gridShape(size);
  shape.push_back(3);
  py::array_t<float> out(shape);
  float* target = out.mutable_data();
  const long long cells = static_cast<long long>(size[0]) * size[1] * size[2];
  {
    py::gil_scoped_release unlocked;
    for (long long i = 0; i < cells; ++i) {
      for (int c = 0; c < 3; ++c) target[3 * i + c] = components[c][i];
    }
  }
  return std::move(out);
}

py::dict presentChannels(Frame& frame) {
  IOrv& library = frame.library();
  py::dict channels;
  for (int id = 0; id < kChannelSlots; ++id) {
    if (library.hasChannel(id)) channels[py::str(GridChannelKey(id))] = id;
  }
  return channels;
}

py::tuple voxelSize(Frame& frame) {
  const auto toWorld = invertAffine(worldToIndex(frame.library()));
  double length[3];
  for (int c = 0; c < 3; ++c) {
    length[c] = std::sqrt(toWorld[0][c] * toWorld[0][c] + toWorld[1][c] * toWorld[1][c] +
                          toWorld[2][c] * toWorld[2][c]);
  }
  return py::make_tuple(length[0], length[1], length[2]);
}

py::list particleGroups(py::object self) {
  IOrv& library = self.cast<Frame&>().library();
  py::list groups;
  const int count = library.getParticleGroupCount();
  for (int i = 0; i < count; ++i) {
    if (ICorvanePrtGroup* group = library.getParticleGroup(i)) {
      groups.append(py::cast(ParticleGroup(self, group)));
    }
  }
  return groups;
}

py::object particleGroupNamed(py::object self, const std::string& name) {
  Frame& frame = self.cast<Frame&>();
  ICorvanePrtGroup* group = frame.library().findParticleGroup(name.c_str());
  if (!group) throw py::key_error(frame.path() + " has no particle group '" + name + "'");
  return py::cast(ParticleGroup(self, group));
}

}  // namespace

Frame::Frame(const OpenedFrame& opened, std::string path)
    : path_(std::move(path)), library_(opened.frame), shared_(opened.shared) {}

Frame::~Frame() {
  closed_ = true;
  release();
}

IOrv& Frame::library() const {
  if (closed_) raiseClosed();
  return *library_;
}

Frame::Use::Use(Frame& frame) : frame_(frame), hold_(frame.use_, std::defer_lock) {
  {
    py::gil_scoped_release unlocked;
    hold_.lock();
  }
  if (frame.closed_) raiseClosed();
}

bool Frame::viewsAlive() {
  std::vector<py::object> alive;
  for (py::object& view : views_) {
    if (!view().is_none()) alive.push_back(std::move(view));
  }
  views_.swap(alive);
  return !views_.empty();
}

void Frame::addView(const py::handle& view) {
  viewsAlive();  // forgets the views already gone
  views_.push_back(py::weakref(view));
}

void Frame::close() {
  closed_ = true;
  if (!library_ || viewsAlive()) return;
  // Decoding calls in flight end first; a view made meanwhile keeps the frame.
  std::unique_lock<std::shared_mutex> hold(use_, std::defer_lock);
  {
    py::gil_scoped_release unlocked;
    hold.lock();
  }
  if (!viewsAlive()) release();
}

void Frame::release() {
  IOrv* library = library_;
  library_ = nullptr;
  // With the interpreter lock held: the loader lock is never held by a thread waiting for it.
  ReleaseFrame(library, shared_);
}

void BindFrame(py::module_& module) {
  py::class_<Frame>(module, "Frame", R"doc(
One frame of a cache (.orv, .vdb or .f3d), opened with orv.open().

Grid channels are dense float32 arrays of shape (nz, ny, nx): cell (i, j, k) is
array[k, j, i]. channel() returns a read-only view of the library's own decoded
array, without a copy; the view keeps the frame's data alive, even after close().
A Frame is a context manager: leaving the block closes it.)doc")
      .def_property_readonly("path", &Frame::path, "The path the frame was opened from.")
      .def_property_readonly(
          "resolution",
          [](Frame& frame) {
            const std::array<int, 3> size = resolutionOf(frame.library());
            return py::make_tuple(size[0], size[1], size[2]);
          },
          "Cells along x, y and z: (nx, ny, nz).")
      .def_property_readonly(
          "world_to_index", [](Frame& frame) { return toArray(worldToIndex(frame.library())); },
          "4x4 float64 matrix taking a world point (x, y, z, 1) as a column vector to grid index\n"
          "coordinates: cell (i, j, k) has its centre at index (i, j, k).")
      .def_property_readonly(
          "index_to_world",
          [](Frame& frame) { return toArray(invertAffine(worldToIndex(frame.library()))); },
          "4x4 float64 matrix taking index coordinates (i, j, k, 1) as a column vector to world\n"
          "space: the inverse of world_to_index (NaN when that has no inverse).")
      .def_property_readonly("voxel_size", &voxelSize,
                             "World length of one cell along x, y and z (the lengths of the first\n"
                             "three columns of index_to_world).")
      .def_property_readonly(
          "channels", &presentChannels,
          "The grid channels present, as {name: id} in id order (temperature 1,\n"
          "smoke 2, speed 3, velocity_x 4, ...; channel_<id> for ids without a\n"
          "name). Nothing is decoded.")
      .def("channel", &channelView, py::arg("name_or_id"), R"doc(
The channel's values as a read-only float32 array of shape (nz, ny, nx), a view of the
library's decoded array (decoded on first request, without the interpreter lock).

Raises KeyError when the frame has no such channel, OrvError when it cannot be decoded.)doc")
      .def("velocity", &velocityCopy, R"doc(
The three velocity channels as one new float32 array of shape (nz, ny, nx, 3).)doc")
      .def_property_readonly("particle_groups", &particleGroups,
                             "The particle groups that hold positions, in file order.")
      .def("particle_group", &particleGroupNamed, py::arg("name"),
           "The first group with exactly this name (with or without positions); KeyError if none.")
      .def_property_readonly("closed", &Frame::closed)
      .def("close", &Frame::close, R"doc(
Closes the frame. The library's frame is released at once, or when the last channel view
of it is gone.)doc")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](Frame& frame, py::args) { frame.close(); })
      .def("__repr__", [](Frame& frame) {
        if (frame.closed()) return "<orv.Frame " + frame.path() + " (closed)>";
        const std::array<int, 3> size = resolutionOf(frame.library());
        return "<orv.Frame " + frame.path() + " " + std::to_string(size[0]) + "x" +
               std::to_string(size[1]) + "x" + std::to_string(size[2]) + ">";
      });
}

}  // namespace orvpy

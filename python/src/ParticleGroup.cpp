#include "python/src/ParticleGroup.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <climits>
#include <vector>

#include "orv/ICorvanePrtGroup.h"
#include "python/src/ChannelKeys.h"
#include "python/src/Errors.h"
#include "python/src/Frame.h"
#include "python/src/LibraryLog.h"

namespace py = pybind11;

namespace orvpy {
namespace {

constexpr int kParticleChannels = 32;
constexpr int kFloatType = 10, kIdType = 7;

// The numpy type and shape of one particle's value in a channel.
py::dtype valueType(ICorvanePrtGroup& group, int channel, int bytes, int& components) {
  const int type = group.getChannelType(channel);
  components = 1;
  if (type == kFloatType) {
    components = bytes / static_cast<int>(sizeof(float));
    return py::dtype::of<float>();
  }
  if (type == kIdType && bytes == 8) return py::dtype::of<long long>();
  if (bytes == 4) return py::dtype::of<int>();  // 32-bit words kept as their bit pattern
  components = bytes;
  return py::dtype::of<unsigned char>();
}

// Particles with a value in the channel: the group's count, or, for a group without positions
// (whose count is 0), as many as the channel answers for.
long long valueCount(ICorvanePrtGroup& group, int channel, std::vector<char>& scratch) {
  const int count = group.getParticleCount();
  if (count > 0) return count;
  long long probed = 0;
  while (probed < INT_MAX && group.getParticle(static_cast<unsigned>(probed), channel,
                                               reinterpret_cast<float*>(scratch.data())) == 1) {
    ++probed;
  }
  return probed;
}

py::array channelValues(ParticleGroup& self, const py::handle& key) {
  const int channel = ChannelIdArgument(key, ParticleChannelFromKey, "particle");
  Frame& frame = self.frame().cast<Frame&>();
  const Frame::Use use(frame);
  ICorvanePrtGroup& group = self.library();
  const std::string name = ParticleChannelKey(channel);
  if (!group.hasChannel(channel)) {
    throw py::key_error(std::string("particle group '") + group.getName() + "' has no channel '" +
                        name + "'");
  }
  const int bytes = group.getChannelByteSize(channel);
  int components = 1;
  const py::dtype type = valueType(group, channel, bytes, components);
  std::vector<char> scratch(static_cast<size_t>(bytes) + 16);
  long long count = 0;
  {
    py::gil_scoped_release unlocked;
    count = valueCount(group, channel, scratch);
  }
  std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(count)};
  if (components > 1) shape.push_back(components);
  py::array out(type, shape);
  char* target = static_cast<char*>(out.mutable_data());
  long long failed = -1;
  std::vector<std::string> log;
  {
    py::gil_scoped_release unlocked;
    LogWindow window;
    for (long long i = 0; i < count && failed < 0; ++i) {
      if (group.getParticle(static_cast<unsigned>(i), channel,
                            reinterpret_cast<float*>(scratch.data())) != 1) {
        failed = i;
      } else {
        std::copy(scratch.begin(), scratch.begin() + bytes, target + i * bytes);
      }
    }
    if (failed >= 0) log = window.lines();
  }
  if (failed >= 0) {
    RaiseOrvError("particle " + std::to_string(failed) + " of channel '" + name + "' of group '" +
                      group.getName() + "' cannot be read",
                  0, log);
  }
  return out;
}

py::list channelNames(ParticleGroup& self) {
  ICorvanePrtGroup& group = self.library();
  py::list names;
  for (int channel = 0; channel < kParticleChannels; ++channel) {
    if (group.hasChannel(channel)) names.append(ParticleChannelKey(channel));
  }
  return names;
}

}  // namespace

ICorvanePrtGroup& ParticleGroup::library() const {
  frame_.cast<Frame&>().library();  // raises once the frame is closed
  return *group_;
}

void BindParticleGroup(py::module_& module) {
  py::class_<ParticleGroup>(module, "ParticleGroup", R"doc(
One particle group of a frame. len(group) is its particle count; group[channel] reads a
channel into a new numpy array: "position" (n, 3) float32, "velocity" (n, 3) float32,
"id" (n,) int64, other channels by name ("channel_<n>") or number.)doc")
      .def_property_readonly(
          "name", [](ParticleGroup& self) { return std::string(self.library().getName()); })
      .def("__len__", [](ParticleGroup& self) { return self.library().getParticleCount(); })
      .def_property_readonly("channels", &channelNames, "Names of the channels present.")
      .def("__getitem__", &channelValues, py::arg("channel"))
      .def(
          "find_by_id",
          [](ParticleGroup& self, long long id) -> py::object {
            const Frame::Use use(self.frame().cast<Frame&>());
            ICorvanePrtGroup& group = self.library();
            int index = -1;
            {
              py::gil_scoped_release unlocked;
              index = group.findParticleById(id);
            }
            return index < 0 ? py::object(py::none()) : py::object(py::int_(index));
          },
          py::arg("id"), "Index of the particle with this ID, or None.")
      .def_property_readonly("frame", &ParticleGroup::frame, "The frame the group belongs to.")
      .def("__repr__", [](ParticleGroup& self) {
        return std::string("<orv.ParticleGroup '") + self.library().getName() + "' " +
               std::to_string(self.library().getParticleCount()) + " particles>";
      });
}

}  // namespace orvpy

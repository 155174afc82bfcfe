// orv.Frame: one frame the library handed out. Channels are numpy views of the library's own
// decoded arrays, so a frame is released only once it is closed (or collected) and no view of it
// is left; library calls that decode run without the interpreter lock.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <shared_mutex>
#include <string>
#include <vector>

#include "python/src/LoaderHost.h"

class IOrv;

namespace orvpy {

class Frame {
 public:
  Frame(const OpenedFrame& opened, std::string path);
  ~Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  const std::string& path() const { return path_; }
  bool closed() const { return closed_; }
  // The library's frame for calls that read fields fixed at load (interpreter lock held); raises
  // ValueError once the frame is closed.
  IOrv& library() const;

  // Closes the frame: no channel can be read any more, and the library's frame is released now
  // or, while numpy views of it exist, when the last of them and the frame object are gone.
  void close();
  // Keeps `view` in mind: close() leaves the library's frame alone while it is alive.
  void addView(const pybind11::handle& view);

  // Holds the frame against release while decoding calls run without the interpreter lock. Made
  // and destroyed with the lock held; raises ValueError when the frame is closed.
  class Use {
   public:
    explicit Use(Frame& frame);
    IOrv& library() const { return *frame_.library_; }

   private:
    Frame& frame_;
    std::shared_lock<std::shared_mutex> hold_;
  };

 private:
  bool viewsAlive();
  void release();

  std::string path_;
  IOrv* library_;
  bool shared_;
  std::atomic<bool> closed_{false};
  std::shared_mutex use_;
  std::vector<pybind11::object> views_;  // weak references to the numpy views
};

void BindFrame(pybind11::module_& module);

}  // namespace orvpy

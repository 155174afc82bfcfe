// What the conversion loop needs from the outside: opening, exporting and releasing one frame.
#pragma once

class IOrv;

class FrameConverter {
 public:
  virtual ~FrameConverter() = default;
  // The loaded frame, or null when the file cannot be loaded.
  virtual IOrv* openFrame(const char* path) = 0;
  // 0 written, 1 a source channel could not be expanded, 2 the file could not be written.
  virtual int exportFrame(const char* destination, IOrv* frame) = 0;
  virtual void releaseFrame(IOrv* frame) = 0;
};

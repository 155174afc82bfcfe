// Conversion of one loaded frame into one OpenVDB file.
#pragma once

#include "converter/ExportSettings.h"

class IOrv;

enum VdbExportResult {
  kVdbExportWritten = 0,         // the file was written
  kVdbExportChannelMissing = 1,  // a source channel could not be expanded; no file was touched
  kVdbExportWriteFailed = 2,     // the file could not be written: an OpenVDB I/O error, or the
                                 // grids could not be built for want of memory
  kVdbExportFailed = 3,          // any other failure (other OpenVDB errors)
};

// Told by the export when it is done with a channel: its grid has been built and the export will
// not ask the frame for it again.
class ExportedChannelRelease {
 public:
  virtual ~ExportedChannelRelease() = default;
  virtual void channelBuilt(IOrv& frame, int channelId) = 0;
};

// Writes the frame's grids as `settings` say to destination (see GridPresets.h), with an
// index-to-world transform inverted from the frame's world-to-grid transform: first the volume
// grids in preset order, then one point grid per particle group when asked. Never throws: every
// failure is a result with its reason in report (when given), and failures other than a missing
// channel also pass their reason to LogMessage. The memory the volume grids need is checked before
// any is built; a build that still runs out stops without unwinding through a grid. The export
// itself only reads the frame; release, when given, hears of every channel once its grid is built.
// Safe to call for different frames on several threads at once.
int ExportFrame(const char* destination, IOrv& frame, const ExportSettings& settings,
                ExportedChannelRelease* release = nullptr, FrameExportReport* report = nullptr);

// orvconvert's export: the frame's smoke, temperature, fuel, velocity and colour channels as float
// grids (ExportSettings' defaults).
int ExportFrameToVdb(const char* destination, IOrv& frame,
                     ExportedChannelRelease* release = nullptr);

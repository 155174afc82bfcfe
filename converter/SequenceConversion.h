// The conversion engine behind orv convert (and the Python module): a frame sequence (or one file)
// converted to OpenVDB files, frames and their grids in parallel on the library's thread pool,
// each frame's result reported in frame order. Prints nothing.
#pragma once

#include <string>
#include <vector>

#include "converter/ExportSettings.h"

struct ConversionRequest {
  // Source and destination names. A source whose file-name part holds a frame token is a
  // sequence, expanded for every frame; otherwise both names are one file each, used as given.
  std::string source;
  std::string destination;
  // The frames of a sequence; empty: every frame whose source file exists.
  std::vector<int> frames;
  ExportSettings settings;                // its pool and grid threads are set by the conversion
  int threads = 0;                        // 0: the default thread count of the library
  bool skipExisting = false;              // a frame whose destination exists is left as it is
  KUtils::ThreadManager* pool = nullptr;  // null: the conversion makes its own
};

enum class FrameOutcome { Converted, Skipped, Failed };

struct FrameResult {
  int frame = 0;       // the frame number; NoFrame for a single file without one in its name
  std::string source;  // the names used for this frame
  std::string destination;
  FrameOutcome outcome = FrameOutcome::Failed;
  std::string reason;  // why it failed
  FrameExportReport written;
  double seconds = 0;
};

// Hears of each frame as it finishes, on the thread that called ConvertFrames, in the order of
// the frame list.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  // Once the frames are known, before the first is converted.
  virtual void conversionStarted(int total) { (void)total; }
  // reported: frames reported so far, this one included; total: frames of the request.
  virtual void frameFinished(const FrameResult& result, int reported, int total) = 0;
};

struct ConversionSummary {
  std::vector<FrameResult> frames;  // in frame-list order
  int converted = 0, skipped = 0, failed = 0;
  double seconds = 0;
  // Set when nothing was converted because the request itself cannot be carried out.
  std::string refusal;
  bool badRequest = false;  // the refusal is a mistake in the request (not missing sources)

  // 0 every frame converted or skipped; 2 some failed; 3 all failed (or no source frame found);
  // 1 a bad request.
  int exitStatus() const;
};

ConversionSummary ConvertFrames(const ConversionRequest& request,
                                ConversionObserver* observer = nullptr);

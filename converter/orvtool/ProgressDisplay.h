// What orv convert shows while it works: a progress bar with frame count, rate and time left on a
// terminal, one line per frame otherwise, or nothing; errors and warnings on standard error with
// the frame, its files and the reason; a summary line at the end.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "converter/SequenceConversion.h"

class ProgressDisplay : public ConversionObserver {
 public:
  enum class Mode { Bar, Lines, Quiet };
  ProgressDisplay(Mode mode, std::FILE* out, std::FILE* errors);

  void conversionStarted(int total) override;
  void frameFinished(const FrameResult& result, int reported, int total) override;
  // The summary line (not in quiet mode), or the reason the request was refused.
  void finish(const ConversionSummary& summary);

 private:
  void drawBar(int reported, int total);
  void clearBar();
  std::string frameLabel(const FrameResult& result) const;

  const Mode mode_;
  std::FILE* out_;
  std::FILE* errors_;
  const std::chrono::steady_clock::time_point start_;
  bool barShown_ = false;
};

#include "converter/orvtool/ProgressDisplay.h"

#include <algorithm>

#include "support/FramePattern.h"
#include "support/platform/Output.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string megabytes(long long bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

std::string clockTime(double seconds) {
  const long long whole = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

ProgressDisplay::ProgressDisplay(Mode mode, std::FILE* out, std::FILE* errors)
    : mode_(mode), out_(out), errors_(errors), start_(std::chrono::steady_clock::now()) {}

std::string ProgressDisplay::frameLabel(const FrameResult& result) const {
  const std::string files = result.source + " -> " + result.destination;
  if (result.frame == NoFrame) return files;
  return "frame " + std::to_string(result.frame) + " (" + files + ")";
}

void ProgressDisplay::conversionStarted(int total) {
  if (mode_ == Mode::Bar) drawBar(0, total);
}

void ProgressDisplay::frameFinished(const FrameResult& result, int reported, int total) {
  clearBar();
  const std::string label = frameLabel(result);
  if (result.outcome == FrameOutcome::Failed) {
    std::fprintf(errors_, "orv: %s: %s\n", label.c_str(), result.reason.c_str());
  }
  for (const std::string& warning : result.written.warnings) {
    std::fprintf(errors_, "orv: %s: warning: %s\n", label.c_str(), warning.c_str());
  }
  std::fflush(errors_);
  if (mode_ == Mode::Lines) {
    std::string what = "failed";
    if (result.outcome == FrameOutcome::Skipped) what = "skipped, the destination exists";
    if (result.outcome == FrameOutcome::Converted) {
      what = "converted, " + std::to_string(result.written.grids) + " grids, " +
             megabytes(result.written.bytesWritten);
    }
    std::fprintf(out_, "[%d/%d] %s: %s\n", reported, total, label.c_str(), what.c_str());
    std::fflush(out_);
  }
  if (mode_ == Mode::Bar) drawBar(reported, total);
}

void ProgressDisplay::drawBar(int reported, int total) {
  const double elapsed = secondsSince(start_);
  const double rate = elapsed > 0 ? reported / elapsed : 0.0;
  char status[128];
  std::snprintf(status, sizeof status, " %d/%d frames  %.2f frames/s  ETA %s", reported, total,
                rate, rate > 0 ? clockTime((total - reported) / rate).c_str() : "?");
  const int width =
      std::max(10, std::min(50, orv::platform::TerminalColumns(out_) -
                                    static_cast<int>(std::string(status).size()) - 3));
  const int filled =
      total > 0 ? static_cast<int>(static_cast<long long>(width) * reported / total) : width;
  std::fprintf(out_, "\r[%s%s]%s", std::string(filled, '#').c_str(),
               std::string(width - filled, '.').c_str(), status);
  std::fflush(out_);
  barShown_ = true;
}

void ProgressDisplay::clearBar() {
  if (!barShown_) return;
  std::fprintf(out_, "\r\033[K");
  std::fflush(out_);
  barShown_ = false;
}

void ProgressDisplay::finish(const ConversionSummary& summary) {
  if (barShown_) {
    std::fprintf(out_, "\n");
    barShown_ = false;
  }
  if (!summary.refusal.empty()) {
    std::fprintf(errors_, "orv convert: %s\n", summary.refusal.c_str());
    return;
  }
  if (mode_ == Mode::Quiet) return;
  const int total = static_cast<int>(summary.frames.size());
  long long bytes = 0;
  for (const FrameResult& result : summary.frames) bytes += result.written.bytesWritten;
  std::fprintf(out_, "orv: %d frame%s in %.1f s: %d converted (%s), %d skipped, %d failed\n", total,
               total == 1 ? "" : "s", summary.seconds, summary.converted, megabytes(bytes).c_str(),
               summary.skipped, summary.failed);
  std::fflush(out_);
}

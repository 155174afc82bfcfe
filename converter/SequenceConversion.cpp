#include "converter/SequenceConversion.h"

#include <tbb/global_control.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "cache/CorvaneFrameData.h"
#include "converter/DecodedChannelRelease.h"
#include "converter/FrameLoading.h"
#include "converter/VdbExport.h"
#include "support/FramePattern.h"
#include "support/platform/Output.h"
#include "support/platform/Platform.h"
#include "support/threading/DefaultThreadCount.h"
#include "support/threading/WinThreadManager.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A name stands for a sequence when its file-name part holds a frame token: the only part the
// expansion touches.
bool namesSequence(const std::string& name) {
  std::string fileName;
  DirectoryPart(name.c_str(), &fileName);
  return HasFrameToken(fileName.c_str());
}

// The frames whose source file exists: the names matching the pattern's wildcard that the pattern
// gives back for their own frame number, in ascending frame order.
std::vector<int> framesOnDisk(const std::string& source) {
  std::vector<int> frames;
  StringList files;
  if (!ListMatchingFiles(ExpandFramePattern(source.c_str(), NoFrame, "*").c_str(), files)) {
    return frames;
  }
  for (int f = 0; f < files.count(); ++f) {
    const int frame = FrameNumberFromFileName(files.at(f));
    if (frame != NoFrame && ExpandFramePattern(source.c_str(), frame, "") == files.at(f)) {
      frames.push_back(frame);
    }
  }
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  return frames;
}

// The OpenVDB library reports an I/O error as "IoError: <message>"; people need the message.
std::string withoutErrorKind(const std::string& reason) {
  const std::string kind = "IoError: ";
  return reason.compare(0, kind.size(), kind) == 0 ? reason.substr(kind.size()) : reason;
}

FrameResult convertFrame(FrameResult result, const ExportSettings& settings, bool skipExisting) {
  const Clock::time_point start = Clock::now();
  using orv::platform::Access;
  if (skipExisting && orv::platform::FileAccessible(result.destination.c_str(), Access::Exists)) {
    result.outcome = FrameOutcome::Skipped;
    return result;
  }
  try {
    std::string reason;
    OwnedFrame frame = LoadFrame(result.source, nullptr, false, reason);
    const std::string folder = DirectoryPart(result.destination.c_str());
    if (!frame) {
      result.reason = "cannot load the source: " + reason;
    } else if (!folder.empty() && !orv::platform::CreateDirectories(folder, &reason)) {
      result.reason = "cannot create the folder " + folder + ": " + reason;
    } else {
      // Held by this conversion alone: each decoded channel is freed once its grid is built.
      frame->referenceCount = 1;
      DecodedChannelRelease release;
      const int code =
          ExportFrame(result.destination.c_str(), *frame, settings, &release, &result.written);
      if (code == kVdbExportWritten) result.outcome = FrameOutcome::Converted;
      result.reason = withoutErrorKind(result.written.reason);
    }
  } catch (const std::exception& error) {
    result.reason = error.what();
  } catch (...) {
    result.reason = "unknown failure";
  }
  result.seconds = secondsSince(start);
  return result;
}

// Frames converted by the workers of a batch, each taking the next unconverted frame; results are
// handed to the observer on the calling thread, in frame-list order, whenever the batch's wait
// pumps and once it ends.
class FrameBatch : public KUtils::BatchProcedure, public KUtils::ProgressCallback {
 public:
  FrameBatch(std::vector<FrameResult>& results, const ExportSettings& settings, bool skipExisting,
             ConversionObserver* observer)
      : results_(results),
        done_(new std::atomic<bool>[results.size()]),
        settings_(settings),
        skipExisting_(skipExisting),
        observer_(observer) {
    for (size_t f = 0; f < results.size(); ++f) done_[f] = false;
  }

  // Converts every frame: on `workers` threads of pool, or on this thread when there is one
  // worker or the pool cannot start its threads (the frames no worker took are converted here).
  void convertAll(KUtils::ThreadManager* pool, int workers) {
    if (pool && workers > 1) pool->run(workers, this, this, false);
    convertRemaining();
    pump();
  }

  void run(int*, int*, int, int) override { convertRemaining(); }

  void pump() override {
    while (delivered_ < results_.size() && done_[delivered_].load(std::memory_order_acquire)) {
      ++delivered_;
      if (observer_) {
        observer_->frameFinished(results_[delivered_ - 1], static_cast<int>(delivered_),
                                 static_cast<int>(results_.size()));
      }
    }
  }
  bool needsPumping() override { return true; }
  void setProgress(int) override {}
  int checkAbort() override { return 0; }
  void log(int, int, const char*, ...) override {}
  void beginTask() override {}
  void endTask() override {}

 private:
  void convertRemaining() {
    for (size_t f = next_++; f < results_.size(); f = next_++) {
      results_[f] = convertFrame(std::move(results_[f]), settings_, skipExisting_);
      done_[f].store(true, std::memory_order_release);
      if (onCallerThread()) pump();
    }
  }
  // Results are delivered on the calling thread only.
  bool onCallerThread() const { return std::this_thread::get_id() == caller_; }

  std::vector<FrameResult>& results_;
  std::unique_ptr<std::atomic<bool>[]> done_;
  const ExportSettings& settings_;
  const bool skipExisting_;
  ConversionObserver* observer_;
  std::atomic<size_t> next_{0};
  size_t delivered_ = 0;
  const std::thread::id caller_ = std::this_thread::get_id();
};

// The frames to convert, each with its names; false with the refusal set in summary.
bool planFrames(const ConversionRequest& request, std::vector<FrameResult>& plan,
                ConversionSummary& summary) {
  auto refuse = [&summary](const std::string& why, bool badRequest) {
    summary.refusal = why;
    summary.badRequest = badRequest;
    return false;
  };
  if (request.source.empty()) return refuse("no source file given", true);
  if (request.destination.empty()) return refuse("no destination file given", true);
  if (!namesSequence(request.source)) {
    if (!request.frames.empty()) {
      return refuse("the source " + request.source + " has no frame token, so it names one " +
                        "file and a frame list cannot apply",
                    true);
    }
    FrameResult single;
    single.frame = FrameNumberFromFileName(request.source.c_str());
    single.source = request.source;
    single.destination = request.destination;
    plan.push_back(single);
    return true;
  }
  const std::vector<int> frames =
      request.frames.empty() ? framesOnDisk(request.source) : request.frames;
  if (frames.empty()) return refuse("no file matches " + request.source, false);
  if (frames.size() > 1 && !namesSequence(request.destination)) {
    return refuse("the destination " + request.destination +
                      " needs a frame token (such as ####) to name more than one frame",
                  true);
  }
  for (int frame : frames) {
    FrameResult result;
    result.frame = frame;
    result.source = ExpandFramePattern(request.source.c_str(), frame, "");
    result.destination = ExpandFramePattern(request.destination.c_str(), frame, "");
    plan.push_back(result);
  }
  return true;
}

}  // namespace

int ConversionSummary::exitStatus() const {
  if (badRequest) return 1;
  if (!refusal.empty() || converted + skipped == 0) return 3;
  return failed > 0 ? 2 : 0;
}

ConversionSummary ConvertFrames(const ConversionRequest& request, ConversionObserver* observer) {
  const Clock::time_point start = Clock::now();
  ConversionSummary summary;
  if (!planFrames(request, summary.frames, summary)) return summary;
  if (observer) observer->conversionStarted(static_cast<int>(summary.frames.size()));

  const int threads = request.threads > 0 ? request.threads : CVNUtils::DefaultThreadCount();
  const int frameCount = static_cast<int>(summary.frames.size());
  const int workers = std::max(1, std::min(threads, frameCount));
  ExportSettings settings = request.settings;
  settings.gridThreads = std::max(1, threads / workers);
  std::unique_ptr<KUtils::WinThreadManager> ownPool;
  settings.pool = request.pool;
  if (!settings.pool && threads > 1) {
    ownPool.reset(new KUtils::WinThreadManager());
    settings.pool = ownPool.get();
  }
  {
    // The OpenVDB library's own parallel loops (statistics while writing, pruning, point
    // bucketing) get the threads one frame has: frames running at once already use every thread,
    // and spare library threads would only spin beside them.
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                              static_cast<size_t>(settings.gridThreads));
    FrameBatch batch(summary.frames, settings, request.skipExisting, observer);
    batch.convertAll(settings.pool, workers);
  }
  for (const FrameResult& result : summary.frames) {
    if (result.outcome == FrameOutcome::Converted) ++summary.converted;
    if (result.outcome == FrameOutcome::Skipped) ++summary.skipped;
    if (result.outcome == FrameOutcome::Failed) ++summary.failed;
  }
  summary.seconds = secondsSince(start);
  return summary;
}

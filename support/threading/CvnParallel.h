// Parallel jobs.
//
// A CvnParallel runs one piece of work on several threads. It keeps a chain of jobs, each one
// share of the work. A run hands the shares out and returns when every share is processed: the
// calling thread takes shares itself, and helpers posted to a KUtils::ThreadManager take the
// others as they start. A run therefore never waits for a worker that does not come (the calling
// thread does the shares nobody took), holds workers only while it runs, and gives the same
// results whichever thread processes which share. Work comes from a derived class overriding
// processJob, or from a TMTJobProcHolder forwarding each job to a member function of another
// object. Without a thread manager everything runs on the calling thread with a single job.
//
// Calling order: construct, fill in the inputs, setupThreads(-1), splitRange(n) for range work,
// install a holder for member-function work, runJobs or runHolderJobs, read the results, destroy.
#pragma once

#include <atomic>

#include "orv/ThreadManager.h"
#include "support/CvnArray.h"
#include "support/platform/Threads.h"
#include "support/threading/NumaPlacement.h"

namespace CVNUtils {

class CvnParallel;

// One job: a contiguous share of the items. The events are kept for the layout of the type; runs
// do not park jobs on workers.
class Job : public KUtils::ThreadProcedure {
 public:
  Job();
  // Destroys the rest of the chain too.
  ~Job() override;
  // Processes this job's share once on the calling thread and signals `done`.
  void run(void* data) override;
  // The owner's name, or "MTJobWithoutOwner".
  const char* name() override;

  long long start = 0;
  long long size = 1;
  long long end = 0;
  int mode = 0;
  int index = 0;
  CvnParallel* owner = nullptr;
  Job* next = nullptr;

  orv::platform::Event go{true};
  orv::platform::Event done{false};
  orv::platform::Event quit{false};
  orv::platform::Event exited{false};
};

class TMTJobProcHolderInterface {
 public:
  virtual ~TMTJobProcHolderInterface() = default;
  virtual void processJob(Job& job) = 0;
};

// Forwards each job to `(object->*method)(job)`; does nothing without an object.
template <typename T>
class TMTJobProcHolder : public TMTJobProcHolderInterface {
 public:
  using Method = void (T::*)(Job&);
  TMTJobProcHolder(T* object, Method method) : object(object), method(method) {}
  void processJob(Job& job) override {
    if (object && method) (object->*method)(job);
  }

 private:
  T* object;
  Method method;
};

class CvnParallel {
 public:
  // `manager` may be null: every set-up and run then takes the current manager of the
  // thread-manager stack, so a manager retired from the stack is never used again.
  explicit CvnParallel(KUtils::ThreadManager* manager = nullptr);
  CvnParallel(const CvnParallel&) = delete;
  CvnParallel& operator=(const CvnParallel&) = delete;

  virtual ~CvnParallel();
  // The work of one job; nothing here.
  virtual void processJob(Job& job);
  virtual const char* name();
  // Cleared by every run; -1 when a share threw.
  virtual int status();
  virtual Job* createJob();
  // Hook kept for derived job families; unused by every job type of the library.
  virtual void configure(int, void*);
  virtual int defaultThreadCount();

  // Builds or reuses `threads` jobs (-1: the default count). Without a thread manager one job is
  // made. `placementTable` and `nodeSelection` (one flag byte per table entry) optionally place
  // the shares on NUMA nodes: whichever thread processes share j runs on j's node meanwhile.
  // False when the jobs could not be made; the object then has one job.
  bool setupThreads(int threads, const NumaPlacementTable* placementTable = nullptr,
                    const unsigned char* nodeSelection = nullptr);
  // Gives each job a contiguous share of `total` items: job i of n ends at total*(i+1)/n, the
  // last at total.
  void splitRange(long long total);
  // Runs processJob of this object for every job and waits. Drops an installed holder.
  void runJobs(int mode, KUtils::ProgressCallback* progress = nullptr);
  // Runs holder->processJob for every job and waits; nothing runs without a holder.
  void runHolderJobs(KUtils::ProgressCallback* progress = nullptr);
  // Replaces the holder (owned from now on).
  void installHolder(TMTJobProcHolderInterface* newHolder);

  Job* firstJob() const { return jobs; }
  KUtils::ThreadManager* threadManager() const { return manager; }

  std::atomic<int> progressCount{0};
  int jobCount = 0;
  TMTJobProcHolderInterface* holder = nullptr;
  void* reserved = nullptr;
  KUtils::ProgressCallback* progress = nullptr;
  std::atomic<int> statusCode{0};
  std::atomic<int> counterA{0};
  const char* jobName = "";
  Job* jobs = nullptr;
  std::atomic<int> counterB{0};

 private:
  friend class Job;
  friend class RunShares;

  struct SharePlacement {
    unsigned short group;
    unsigned long long mask;
  };

  // The manager this set-up or run uses: the one given to the constructor, else the current one.
  KUtils::ThreadManager* currentManager();
  void destroyJobs();
  bool buildJobs(int threads);
  void applyPlacement(const NumaPlacementTable* table, const unsigned char* nodeSelection);
  void beginRun(KUtils::ProgressCallback* runProgress);
  void dispatch(bool throughHolder, bool setMode, int runMode);
  // Processes one share on the calling thread, on its node when the shares are placed.
  void processShare(Job& job, bool throughHolder);

  KUtils::ThreadManager* manager;
  const bool managerGiven;
  CvnArray<SharePlacement, int> placements;  // by job index; empty when not placed
};

}  // namespace CVNUtils

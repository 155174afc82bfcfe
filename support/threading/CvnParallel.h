// Persistent parallel jobs.
//
// A CvnParallel runs one piece of work on several threads. It keeps a chain of jobs, each parked
// on one worker of a KUtils::ThreadManager for the life of the object; every run wakes them all
// and waits until each has processed its share. Work comes from a derived class overriding
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

// One job: a contiguous share of the items and the events that park it on its worker.
class Job : public KUtils::ThreadProcedure {
 public:
  Job();
  // Destroys the rest of the chain too; with a thread manager, tells the job's thread to quit.
  ~Job() override;
  // The job's thread body: waits for go or quit, processes one share per go.
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

 private:
  friend class CvnParallel;
  void stopThread();
  // Set while the job's thread body runs on a worker and must be told to quit.
  bool parkedOnWorker = false;
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
  // `manager` may be null: setupThreads then takes the current one of the thread-manager stack.
  explicit CvnParallel(KUtils::ThreadManager* manager = nullptr);
  CvnParallel(const CvnParallel&) = delete;
  CvnParallel& operator=(const CvnParallel&) = delete;

  virtual ~CvnParallel();
  // The work of one job; nothing here.
  virtual void processJob(Job& job);
  virtual const char* name();
  virtual int status();
  virtual Job* createJob();
  // Hook kept for derived job families; unused by every job type of the library.
  virtual void configure(int, void*);
  virtual int defaultThreadCount();

  // Builds or reuses `threads` jobs (-1: the default count). Without a thread manager one job is
  // made. `placementTable` and `nodeSelection` (one flag byte per table entry) optionally spread
  // the job threads over NUMA nodes. False when the jobs could not be started on workers; the
  // object then runs one job on the calling thread.
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

  void destroyJobs();
  void closeThreadHandles();
  bool buildJobs(int threads);
  void applyPlacement(const NumaPlacementTable* table, const unsigned char* nodeSelection);
  void beginRun(KUtils::ProgressCallback* runProgress);
  void dispatch(bool throughHolder, bool setMode, int runMode);
  void jobStarted(Job& job);

  CvnArray<void*, int> threadHandles;
  KUtils::ThreadManager* manager;
  // True while the jobs are parked on workers of `manager`.
  bool onWorkers = false;
  std::atomic<int> startedCount{0};
  orv::platform::Event allStarted{false};
};

}  // namespace CVNUtils

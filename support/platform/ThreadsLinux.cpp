// Linux implementation of the thread services that POSIX leaves open: affinity (cpu_set_t),
// names, per-thread priorities (by the kernel's thread id) and the NUMA topology of /sys.
#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "support/platform/Threads.h"

namespace orv {
namespace platform {

namespace {

bool fillCpuSet(int group, unsigned long long mask, cpu_set_t& set) {
  CPU_ZERO(&set);
  bool any = false;
  for (int bit = 0; bit < 64; ++bit) {
    if (!(mask & (1ull << bit))) continue;
    const int cpu = group * 64 + bit;
    if (cpu < 0 || cpu >= CPU_SETSIZE) continue;
    CPU_SET(cpu, &set);
    any = true;
  }
  return any;
}

bool processCpuSet(cpu_set_t& set) {
  CPU_ZERO(&set);
  return sched_getaffinity(getpid(), sizeof set, &set) == 0;
}

}  // namespace

bool SetCurrentThreadAffinity(int group, unsigned long long mask) {
  cpu_set_t set;
  if (!fillCpuSet(group, mask, set)) return false;
  return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

bool SetCurrentThreadAffinityToProcess() {
  cpu_set_t set;
  if (!processCpuSet(set)) return false;
  return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

std::vector<int> CurrentThreadAffinityProcessors() {
  std::vector<int> cpus;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (pthread_getaffinity_np(pthread_self(), sizeof set, &set) != 0) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

int CurrentProcessorNumber() { return sched_getcpu(); }

static_assert(sizeof(cpu_set_t) <= 128, "ScopedThreadAffinity keeps a cpu_set_t");

ScopedThreadAffinity::ScopedThreadAffinity(int group, unsigned long long mask) {
  cpu_set_t earlier, wanted;
  if (!fillCpuSet(group, mask, wanted)) return;
  if (pthread_getaffinity_np(pthread_self(), sizeof earlier, &earlier) != 0) return;
  std::memcpy(saved, &earlier, sizeof earlier);
  restore = pthread_setaffinity_np(pthread_self(), sizeof wanted, &wanted) == 0;
}

ScopedThreadAffinity::~ScopedThreadAffinity() {
  if (!restore) return;
  cpu_set_t earlier;
  std::memcpy(&earlier, saved, sizeof earlier);
  pthread_setaffinity_np(pthread_self(), sizeof earlier, &earlier);
}

void SetCurrentThreadName(const char* name) {
  if (!name) return;
  char shortName[16];
  std::snprintf(shortName, sizeof shortName, "%s", name);
  pthread_setname_np(pthread_self(), shortName);
}

bool SetCurrentThreadLowPriority(bool low) {
  const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), low ? 1 : 0) == 0;
}

int CurrentThreadPriorityLevel() {
  const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
  errno = 0;
  const int level = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
  return errno == 0 ? level : 0;
}

bool SetCurrentThreadPriorityLevel(int level) {
  const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), level) == 0;
}

int UsableProcessorCount() {
  cpu_set_t set;
  if (processCpuSet(set)) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

std::vector<int> ProcessAffinityProcessors() {
  std::vector<int> cpus;
  cpu_set_t set;
  if (!processCpuSet(set)) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

std::vector<NumaNodeCpuList> ReadNumaNodeCpuLists() {
  std::vector<NumaNodeCpuList> nodes;
  const char* root = "/sys/devices/system/node";
  DIR* directory = opendir(root);
  if (!directory) return nodes;
  while (dirent* entry = readdir(directory)) {
    const char* name = entry->d_name;
    if (std::strncmp(name, "node", 4) != 0 || name[4] < '0' || name[4] > '9') continue;
    char* tail = nullptr;
    const long node = std::strtol(name + 4, &tail, 10);
    if (*tail != '\0' || node < 0 || node > 1 << 20) continue;
    std::ifstream file(std::string(root) + "/" + name + "/cpulist");
    if (!file) continue;
    std::string text;
    std::getline(file, text);
    nodes.push_back({static_cast<int>(node), text});
  }
  closedir(directory);
  std::sort(nodes.begin(), nodes.end(),
            [](const NumaNodeCpuList& a, const NumaNodeCpuList& b) { return a.node < b.node; });
  return nodes;
}

}  // namespace platform
}  // namespace orv

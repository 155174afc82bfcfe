// Win32 implementation of the processor topology and thread affinity: the processor-group and NUMA
// functions of kernel32 are looked up by name, so that systems without them still load the library
// (plain affinity masks and GetSystemInfo serve then).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/platform/Threads.h"

namespace orv {
namespace platform {

namespace {

struct KernelTopology {
  using ProcessorInformationFunction =
      BOOL(WINAPI*)(LOGICAL_PROCESSOR_RELATIONSHIP, PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX, PDWORD);
  using HighestNodeFunction = BOOL(WINAPI*)(PULONG);
  using NodeMaskFunction = BOOL(WINAPI*)(UCHAR, PULONGLONG);
  using GroupAffinityFunction = BOOL(WINAPI*)(HANDLE, const GROUP_AFFINITY*, PGROUP_AFFINITY);

  ProcessorInformationFunction processorInformation = nullptr;
  HighestNodeFunction highestNode = nullptr;
  NodeMaskFunction nodeMask = nullptr;
  GroupAffinityFunction setGroupAffinity = nullptr;
};

template <typename Function>
void lookUp(HMODULE kernel, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

const KernelTopology& kernelTopology() {
  static const KernelTopology functions = [] {
    KernelTopology found;
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
      lookUp(kernel, "GetLogicalProcessorInformationEx", found.processorInformation);
      lookUp(kernel, "GetNumaHighestNodeNumber", found.highestNode);
      lookUp(kernel, "GetNumaNodeProcessorMask", found.nodeMask);
      lookUp(kernel, "SetThreadGroupAffinity", found.setGroupAffinity);
    }
    return found;
  }();
  return functions;
}

// The processor group of the calling thread, and the process's affinity mask in it.
bool processAffinity(WORD& group, unsigned long long& mask) {
  GROUP_AFFINITY current = {};
  group = GetThreadGroupAffinity(GetCurrentThread(), &current) ? current.Group : 0;
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || !process) return false;
  mask = process;
  return true;
}

// Processor numbers count on across groups of 64: processor b of group g is 64 g + b.
std::string cpuListOf(WORD group, unsigned long long mask) {
  std::string list;
  for (int bit = 0; bit < 64; ++bit) {
    if (!(mask & (1ull << bit))) continue;
    if (!list.empty()) list += ',';
    list += std::to_string(group * 64 + bit);
  }
  return list;
}

bool setAffinity(WORD group, unsigned long long mask, GROUP_AFFINITY* previous) {
  if (!mask) return false;
  if (const auto setGroupAffinity = kernelTopology().setGroupAffinity) {
    GROUP_AFFINITY wanted = {};
    wanted.Group = group;
    wanted.Mask = static_cast<KAFFINITY>(mask);
    return setGroupAffinity(GetCurrentThread(), &wanted, previous) != 0;
  }
  if (group != 0) return false;
  const DWORD_PTR earlier = SetThreadAffinityMask(GetCurrentThread(), static_cast<DWORD_PTR>(mask));
  if (previous) {
    std::memset(previous, 0, sizeof *previous);
    previous->Mask = earlier;
  }
  return earlier != 0;
}

}  // namespace

bool SetCurrentThreadAffinity(int group, unsigned long long mask) {
  if (group < 0 || group > 0xFFFF) return false;
  return setAffinity(static_cast<WORD>(group), mask, nullptr);
}

bool SetCurrentThreadAffinityToProcess() {
  WORD group = 0;
  unsigned long long mask = 0;
  return processAffinity(group, mask) && setAffinity(group, mask, nullptr);
}

std::vector<int> CurrentThreadAffinityProcessors() {
  std::vector<int> cpus;
  GROUP_AFFINITY current = {};
  if (!GetThreadGroupAffinity(GetCurrentThread(), &current)) return cpus;
  for (int bit = 0; bit < 64; ++bit) {
    if (current.Mask & (1ull << bit)) cpus.push_back(current.Group * 64 + bit);
  }
  return cpus;
}

int CurrentProcessorNumber() {
  PROCESSOR_NUMBER number = {};
  GetCurrentProcessorNumberEx(&number);
  return number.Group * 64 + number.Number;
}

static_assert(sizeof(GROUP_AFFINITY) <= 128, "ScopedThreadAffinity keeps a GROUP_AFFINITY");

ScopedThreadAffinity::ScopedThreadAffinity(int group, unsigned long long mask) {
  GROUP_AFFINITY earlier = {};
  if (group < 0 || group > 0xFFFF) return;
  restore = setAffinity(static_cast<WORD>(group), mask, &earlier);
  std::memcpy(saved, &earlier, sizeof earlier);
}

ScopedThreadAffinity::~ScopedThreadAffinity() {
  if (!restore) return;
  GROUP_AFFINITY earlier;
  std::memcpy(&earlier, saved, sizeof earlier);
  setAffinity(earlier.Group, earlier.Mask, nullptr);
}

int UsableProcessorCount() {
  WORD group = 0;
  unsigned long long mask = 0;
  if (processAffinity(group, mask)) return __builtin_popcountll(mask);
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return system.dwNumberOfProcessors > 0 ? static_cast<int>(system.dwNumberOfProcessors) : 1;
}

std::vector<int> ProcessAffinityProcessors() {
  std::vector<int> cpus;
  WORD group = 0;
  unsigned long long mask = 0;
  if (!processAffinity(group, mask)) return cpus;
  for (int bit = 0; bit < 64; ++bit) {
    if (mask & (1ull << bit)) cpus.push_back(group * 64 + bit);
  }
  return cpus;
}

std::vector<NumaNodeCpuList> ReadNumaNodeCpuLists() {
  std::vector<NumaNodeCpuList> nodes;
  const KernelTopology& kernel = kernelTopology();
  DWORD bytes = 0;
  if (kernel.processorInformation &&
      !kernel.processorInformation(RelationNumaNode, nullptr, &bytes) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER && bytes > 0) {
    std::vector<unsigned char> buffer(bytes);
    auto* first = reinterpret_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX>(buffer.data());
    if (kernel.processorInformation(RelationNumaNode, first, &bytes)) {
      // Variable-sized records, each giving its own size; one per node.
      for (DWORD offset = 0; offset + sizeof(DWORD) * 2 <= bytes;) {
        auto* record =
            reinterpret_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX>(buffer.data() + offset);
        if (record->Size == 0 || offset + record->Size > bytes) break;
        if (record->Relationship == RelationNumaNode) {
          const NUMA_NODE_RELATIONSHIP& node = record->NumaNode;
          nodes.push_back({static_cast<int>(node.NodeNumber),
                           cpuListOf(node.GroupMask.Group, node.GroupMask.Mask)});
        }
        offset += record->Size;
      }
    }
  }
  ULONG highest = 0;
  if (nodes.empty() && kernel.highestNode && kernel.nodeMask && kernel.highestNode(&highest)) {
    for (ULONG node = 0; node <= highest && node < 256; ++node) {
      ULONGLONG mask = 0;
      if (kernel.nodeMask(static_cast<UCHAR>(node), &mask)) {
        nodes.push_back({static_cast<int>(node), cpuListOf(0, mask)});
      }
    }
  }
  std::sort(nodes.begin(), nodes.end(),
            [](const NumaNodeCpuList& a, const NumaNodeCpuList& b) { return a.node < b.node; });
  return nodes;
}

}  // namespace platform
}  // namespace orv

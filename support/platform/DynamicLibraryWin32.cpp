// Win32 implementation of DynamicLibrary: LoadLibrary, GetProcAddress, FreeLibrary.
#include <windows.h>

#include "support/platform/DynamicLibrary.h"
#include "support/platform/WideStringWin32.h"

namespace orv {
namespace platform {

const char* const kLibraryFileExtension = ".dll";

namespace {

std::string systemMessage(DWORD error, const char* fallback) {
  char text[512];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     text, sizeof text, nullptr);
  std::string message = length ? std::string(text, length) : std::string(fallback);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message + " (error " + std::to_string(error) + ")";
}

bool hasFolder(const char* path) {
  for (const char* c = path; *c; ++c) {
    if (*c == '/' || *c == '\\' || *c == ':') return true;
  }
  return false;
}

// The folder of the module that holds this code (the DLL it is linked into, or the program),
// with its final separator; empty when it cannot be found.
std::wstring thisModuleFolder() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&thisModuleFolder), &module)) {
    return std::wstring();
  }
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(module, path, sizeof path / sizeof path[0]);
  if (length == 0 || length >= sizeof path / sizeof path[0]) return std::wstring();
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

}  // namespace

bool DynamicLibrary::open(const char* path) {
  close();
  if (!path || !*path) {
    lastError_ = "empty library name";
    return false;
  }
  // The name is UTF-8; Windows takes it in UTF-16. A name without a folder is looked for first
  // beside the module holding this code (the plug-ins ship beside orvloader.dll), then through
  // the system's library search.
  const std::wstring name = WideFromUtf8(path);
  if (!hasFolder(path)) {
    const std::wstring beside = thisModuleFolder() + name;
    if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) {
      handle_ = LoadLibraryW(beside.c_str());
    }
  }
  if (!handle_) handle_ = LoadLibraryW(name.c_str());
  if (!handle_) {
    lastError_ = systemMessage(GetLastError(), "cannot load library");
    return false;
  }
  lastError_.clear();
  return true;
}

void* DynamicLibrary::symbol(const char* name) {
  if (!handle_ || !name) {
    lastError_ = "no library loaded";
    return nullptr;
  }
  FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
  if (!address) lastError_ = systemMessage(GetLastError(), "symbol not found");
  return reinterpret_cast<void*>(address);
}

bool KeepThisModuleLoaded() {
  HMODULE module = nullptr;
  // Pinned: the module stays mapped until the process ends, whatever FreeLibrary calls follow.
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&KeepThisModuleLoaded), &module) != 0;
}

void DynamicLibrary::close() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

}  // namespace platform
}  // namespace orv

// Module loading over the dynamic loader. An HMODULE is the dlopen handle
// (the loader's link map), so the same module always has the same HMODULE,
// whether it came from LoadLibraryW or ModuleFromAddress.
#include "platform/base/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files/files.h"
#include "platform/text/wstr.h"

namespace {

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The directory holding this library, found from one of its own addresses.
std::string PlatformDirectory() {
  Dl_info info;
  if (dladdr(reinterpret_cast<const void*>(&PlatformDirectory), &info) == 0 ||
      info.dli_fname == nullptr)
    return {};
  std::string path = info.dli_fname;
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void* Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW); }

// The path of |file| in |dir| when it is there, else empty.
std::string FindIn(const std::string& dir, const std::string& file) {
  if (dir.empty()) return {};
  std::string path = dir + "/" + file;
  return access(path.c_str(), F_OK) == 0 ? path : std::string();
}

std::string ExecutablePath() {
  char path[PATH_MAX];
  ssize_t cb = readlink("/proc/self/exe", path, sizeof path - 1);
  return cb > 0 ? std::string(path, static_cast<size_t>(cb)) : std::string();
}

}  // namespace

namespace platform {

std::string ModuleFileName(const std::string& moduleName) {
  if (EndsWith(moduleName, ".so")) return moduleName;
  std::string name = moduleName;
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (EndsWith(name, ".dll")) name.resize(name.size() - 4);
  return "lib" + name + ".so";
}

HMODULE ModuleFromAddress(const void* address) {
  Dl_info info;
  struct link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // dlopen with RTLD_NOLOAD gives the module's handle; the reference it adds
  // is given back at once, since (as GetModuleHandle) no reference is held.
  void* handle = dlopen(map->l_name[0] != 0 ? map->l_name : nullptr, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  dlclose(handle);
  return static_cast<HMODULE>(handle);
}

}  // namespace platform

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
  if (lpLibFileName == nullptr || lpLibFileName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string path = platform::PosixPath(lpLibFileName);
  size_t slash = path.find_last_of('/');
  void* handle = nullptr;
  if (slash != std::string::npos) {
    handle = Open(path.substr(0, slash + 1) + platform::ModuleFileName(path.substr(slash + 1)));
  } else {
    // The first file found is the one loaded: when it fails to load, the
    // search does not go on to another copy.
    std::string file = platform::ModuleFileName(path);
    std::string found;
    if (const char* dirs = std::getenv("VLTADMIN_MODULE_PATH")) {
      std::string list = dirs;
      for (size_t start = 0; found.empty() && start <= list.size();) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        found = FindIn(list.substr(start, end - start), file);
        start = end + 1;
      }
    }
    if (found.empty()) found = FindIn(PlatformDirectory(), file);
    handle = Open(found.empty() ? file : found);
  }
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Import by ordinal (a small number in place of the name) is not offered.
  if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* module = hModule != nullptr ? static_cast<void*>(hModule) : RTLD_DEFAULT;
  void* symbol = dlsym(module, lpProcName);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == nullptr || dlclose(hLibModule) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::string path;
  if (hModule == nullptr) {
    path = ExecutablePath();
  } else {
    struct link_map* map = nullptr;
    if (dlinfo(hModule, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    if (map->l_name[0] == 0) {
      path = ExecutablePath();  // the main program
    } else if (char* full = realpath(map->l_name, nullptr)) {
      path = full;
      std::free(full);
    } else {
      path = map->l_name;
    }
  }
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::u16string wide = platform::FromUtf8(path);
  if (wide.size() >= nSize) {
    // Truncated and terminated; the full size tells the caller.
    std::memcpy(lpFilename, wide.data(), (nSize - 1) * sizeof(WCHAR));
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::memcpy(lpFilename, wide.data(), wide.size() * sizeof(WCHAR));
  lpFilename[wide.size()] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(wide.size());
}

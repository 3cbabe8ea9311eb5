#include "platform/shared_library.h"

#include <dlfcn.h>

bool TSharedLibrary::Load(const std::string& fileName) {
  Unload();
  dlerror();
  handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* err = dlerror();
    lastError_ = err != nullptr ? err : "cannot load " + fileName;
    return false;
  }
  fileName_ = fileName;
  lastError_.clear();
  return true;
}

void TSharedLibrary::Unload() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
  fileName_.clear();
}

void* TSharedLibrary::Symbol(const char* name) {
  if (handle_ == nullptr) {
    lastError_ = "library not loaded";
    return nullptr;
  }
  dlerror();
  void* address = dlsym(handle_, name);
  if (address == nullptr) {
    const char* err = dlerror();
    lastError_ = err != nullptr ? err : std::string("undefined symbol: ") + name;
  }
  return address;
}

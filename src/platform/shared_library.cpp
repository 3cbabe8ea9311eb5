#include "platform/shared_library.h"

#include <dlfcn.h>
#include <link.h>

#include <vector>

namespace {

struct TLaterObjects {
  ElfW(Addr) anchor = 0;
  bool anchorSeen = false;
  std::vector<std::string> names;
};

// Loaded objects come in load order: everything after the anchor was loaded
// later.
int CollectLaterObjects(struct dl_phdr_info* info, size_t, void* data) {
  auto* later = static_cast<TLaterObjects*>(data);
  if (later->anchorSeen) {
    if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') later->names.emplace_back(info->dlpi_name);
  } else if (info->dlpi_addr == later->anchor) {
    later->anchorSeen = true;
  }
  return 0;
}

}  // namespace

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

int TSharedLibrary::KeepLaterLibrariesLoaded() const {
  if (handle_ == nullptr) return 0;
  struct link_map* map = nullptr;
  if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return 0;
  TLaterObjects later;
  later.anchor = map->l_addr;
  dl_iterate_phdr(CollectLaterObjects, &later);
  int kept = 0;
  for (const std::string& name : later.names) {
    // Marks the object as never to be unloaded; the extra reference this
    // takes is given back at once, the mark stays.
    void* object = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    if (object == nullptr) continue;
    dlclose(object);
    ++kept;
  }
  return kept;
}

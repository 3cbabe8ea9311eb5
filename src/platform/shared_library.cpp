#include "platform/shared_library.h"

#include <dlfcn.h>
#include <link.h>

#include <cstddef>
#include <vector>

namespace {

struct TLaterObjects {
  ElfW(Addr) Anchor = 0;
  bool AnchorSeen = false;
  std::vector<std::string> Names;
};

// Loaded objects come in load order: everything after the anchor was loaded
// later.
int CollectLaterObjects(struct dl_phdr_info* info, size_t, void* data) {
  auto* later = static_cast<TLaterObjects*>(data);
  if (later->AnchorSeen) {
    if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') later->Names.emplace_back(info->dlpi_name);
  } else if (info->dlpi_addr == later->Anchor) {
    later->AnchorSeen = true;
  }
  return 0;
}

}  // namespace

bool TSharedLibrary::Load(const std::string& fileName) {
  Unload();
  dlerror();
  FHandle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (FHandle == nullptr) {
    const char* err = dlerror();
    FLastError = err != nullptr ? err : "cannot load " + fileName;
    return false;
  }
  FFileName = fileName;
  FLastError.clear();
  return true;
}

void TSharedLibrary::Unload() {
  if (FHandle != nullptr) {
    dlclose(FHandle);
    FHandle = nullptr;
  }
  FFileName.clear();
}

void* TSharedLibrary::Symbol(const char* name) {
  if (FHandle == nullptr) {
    FLastError = "library not loaded";
    return nullptr;
  }
  dlerror();
  void* address = dlsym(FHandle, name);
  if (address == nullptr) {
    const char* err = dlerror();
    FLastError = err != nullptr ? err : std::string("undefined symbol: ") + name;
  }
  return address;
}

int TSharedLibrary::KeepLaterLibrariesLoaded() const {
  if (FHandle == nullptr) return 0;
  struct link_map* map = nullptr;
  if (dlinfo(FHandle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return 0;
  TLaterObjects later;
  later.Anchor = map->l_addr;
  dl_iterate_phdr(CollectLaterObjects, &later);
  int kept = 0;
  for (const std::string& name : later.Names) {
    // Marks the object as never to be unloaded; the extra reference this
    // takes is given back at once, the mark stays.
    void* object = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    if (object == nullptr) continue;
    dlclose(object);
    ++kept;
  }
  return kept;
}

unsigned long long TSharedLibrary::LoadCount() {
  unsigned long long count = 0;
  dl_iterate_phdr(
      [](struct dl_phdr_info* info, size_t size, void* data) {
        if (size >= offsetof(struct dl_phdr_info, dlpi_adds) + sizeof info->dlpi_adds)
          *static_cast<unsigned long long*>(data) = info->dlpi_adds;
        return 1;
      },
      &count);
  return count;
}

#pragma once
// Loading a shared library by file name and looking up its entry points.

#include <string>

class TSharedLibrary {
 public:
  TSharedLibrary() = default;
  ~TSharedLibrary() { Unload(); }
  TSharedLibrary(const TSharedLibrary&) = delete;
  TSharedLibrary& operator=(const TSharedLibrary&) = delete;

  // Loads the file (a bare name is searched the system's way); false with
  // LastError() set when the system refuses.
  bool Load(const std::string& fileName);
  void Unload();
  bool Loaded() const { return FHandle != nullptr; }
  const std::string& FileName() const { return FFileName; }

  // The entry point's address, or nullptr with LastError() set.
  void* Symbol(const char* name);
  // The loader's own text of the last failure.
  const std::string& LastError() const { return FLastError; }

  // Keeps every shared object loaded after this library (the plug-ins and
  // helpers it loaded itself) mapped until the process ends, even when their
  // loader closes them; objects loaded before it are left alone. Returns how
  // many objects it found. Does nothing when this library is not loaded.
  int KeepLaterLibrariesLoaded() const;

  // The loader's count of objects loaded into the process so far (it grows
  // with every load, a load of an object unloaded before included).
  static unsigned long long LoadCount();

 private:
  void* FHandle = nullptr;
  std::string FFileName;
  std::string FLastError;
};

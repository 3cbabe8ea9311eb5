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
  bool Loaded() const { return handle_ != nullptr; }
  const std::string& FileName() const { return fileName_; }

  // The entry point's address, or nullptr with LastError() set.
  void* Symbol(const char* name);
  // The loader's own text of the last failure.
  const std::string& LastError() const { return lastError_; }

 private:
  void* handle_ = nullptr;
  std::string fileName_;
  std::string lastError_;
};

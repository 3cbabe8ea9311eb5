#pragma once
// Environment variables set for one test; the old values (or their absence)
// come back when the object goes.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TScopedEnv {
 public:
  TScopedEnv() = default;
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;
  ~TScopedEnv() {
    for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
  }

  void Set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    FSaved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name, value.c_str(), 1);
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

#include "platform/character_type.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <string>

namespace {

bool TrySetCharacterType(const char* name) {
  return std::setlocale(LC_CTYPE, name) != nullptr && CharacterTypeIsUtf8();
}

}  // namespace

bool CharacterTypeIsUtf8() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

bool UseUtf8CharacterType() {
  if (CharacterTypeIsUtf8()) return true;
  const std::string previous = std::setlocale(LC_CTYPE, nullptr);
  for (const char* name : {"", "C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    if (TrySetCharacterType(name)) return true;
  }
  std::setlocale(LC_CTYPE, previous.c_str());
  return false;
}

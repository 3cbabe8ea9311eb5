// The copy on this computer as the controller sees it: its two settings and
// the record of a copy made.

#include "controller/quorvin.h"
#include "platform/profile_file.h"

namespace {

constexpr const char* SectionParameters = "Parameters";
constexpr const char* KeyLocalCopyDir = "LocalCopyDir";
constexpr const char* KeyLocalCopyOnly = "LocalCopyOnly";

}  // namespace

void TQuorvin::ReadLocalCopySettings(const TIniFile& ini) {
  LocalCopyDir = ini.ReadString(SectionParameters, KeyLocalCopyDir, "");
  LocalCopyOnly = ini.ReadBool(SectionParameters, KeyLocalCopyOnly, false);
}

void TQuorvin::WriteLocalCopySettings(TIniFile& ini) {
  // A file that never had a copy keeps its lines as they were.
  const auto stored = [&](const char* key) {
    return ReadProfileValue(ini.FileName(), SectionParameters, key).has_value();
  };
  if (!LocalCopyDir.empty() || stored(KeyLocalCopyDir)) ini.WriteString(SectionParameters, KeyLocalCopyDir, LocalCopyDir);
  if (LocalCopyOnly || stored(KeyLocalCopyOnly)) ini.WriteBool(SectionParameters, KeyLocalCopyOnly, LocalCopyOnly);
}

void TQuorvin::LocalCopyMade(const TLocalCopyInfo& copy) {
  LastLocalCopy = copy;
  SaveStrToLog(LogStamp() + " Копия на этом компьютере создана. " + copy.File);
}

void TQuorvin::LocalCopyNotMade(const std::string& copyPath) {
  SaveStrToLog(LogStamp() + " Копия на этом компьютере НЕ создана. " + copyPath);
}

#include "controller/jobs/incremental/incremental_names.h"

#include "controller/jobs/database_jobs.h"

namespace {

// "_L" then the level, then "_dd_mm_yy_hh_nn_ss".
constexpr std::string_view DatedPattern = "_99_99_99_99_99_99";

bool Digits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

int Number(std::string_view text) {
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

std::string IncrementalFileName(const TBackupName& name, int level, TDateTime moment) {
  return name.BackDir + name.BackBaseName + "_L" + std::to_string(level) +
         FormatDateTime("_dd_mm_yy_hh_nn_ss", moment) + std::string(IncrementalExtension);
}

std::optional<TIncrementalName> ParseIncrementalName(std::string_view fileName, std::string_view baseName) {
  const std::string_view ext = IncrementalExtension;
  if (fileName.size() < baseName.size() + 3 + DatedPattern.size() + ext.size() ||
      fileName.substr(0, baseName.size()) != baseName || fileName.substr(fileName.size() - ext.size()) != ext)
    return std::nullopt;
  std::string_view rest = fileName.substr(baseName.size(), fileName.size() - baseName.size() - ext.size());
  if (rest.substr(0, 2) != "_L" || rest.size() <= 2 + DatedPattern.size()) return std::nullopt;
  const std::string_view level = rest.substr(2, rest.size() - 2 - DatedPattern.size());
  const std::string_view dated = rest.substr(rest.size() - DatedPattern.size());
  if (!Digits(level) || level.size() > 1) return std::nullopt;
  for (std::size_t i = 0; i < dated.size(); ++i)
    if (DatedPattern[i] == '_' ? dated[i] != '_' : (dated[i] < '0' || dated[i] > '9')) return std::nullopt;
  const auto field = [&](int n) { return Number(dated.substr(1 + 3 * static_cast<std::size_t>(n), 2)); };
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(2000 + field(2), field(1), field(0), date) ||
      !TryEncodeTime(field(3), field(4), field(5), 0, time))
    return std::nullopt;
  return TIncrementalName{Number(level), date + time};
}

bool IsIncrementalFile(const std::string& path) {
  const std::string_view ext = IncrementalExtension;
  return path.size() > ext.size() && std::string_view(path).substr(path.size() - ext.size()) == ext;
}

bool IsIncrementalFileSetApart(const std::string& path) {
  if (IsIncrementalFile(path)) return true;
  const std::string_view ext = IncrementalExtension;
  const std::size_t at = path.rfind(ext);
  if (at == std::string::npos) return false;
  const std::string_view rest = std::string_view(path).substr(at + ext.size());
  constexpr std::string_view Failed = ".failed";
  constexpr std::string_view Aside = ".aside-";
  if (rest.substr(0, Failed.size()) == Failed)
    return rest.size() == Failed.size() || (rest[Failed.size()] == '.' && Digits(rest.substr(Failed.size() + 1)));
  return rest.substr(0, Aside.size()) == Aside && rest.size() == Aside.size() + 8;
}

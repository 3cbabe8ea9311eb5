#include "service/nbackup_services.h"

#include <cctype>

#include "service/ib_errors.h"

void TIBNBackupService::BuildStartRequest() {
  if (DatabaseName.empty() || BackupFile.empty()) RaiseClientError(ibceStartParamsError);
  FRequestAction = spb::action_svc_nbak;
  FOutputEnded = false;
  StartRequest = std::string(1, static_cast<char>(spb::action_svc_nbak));
  AddStartText(DatabaseName, spb::dbname);
  AddStartText(BackupFile, spb::nbk_file);
  AddStartNumber(Level, spb::nbk_level);
  if (NoTriggers) AddStartNumber(spb::nbk_no_triggers, spb::options);
}

void TIBNRestoreService::BuildStartRequest() {
  if (DatabaseName.empty() || BackupFiles.empty()) RaiseClientError(ibceStartParamsError);
  FRequestAction = spb::action_svc_nrest;
  FOutputEnded = false;
  StartRequest = std::string(1, static_cast<char>(spb::action_svc_nrest));
  AddStartText(DatabaseName, spb::dbname);
  for (const std::string& file : BackupFiles) AddStartText(file, spb::nbk_file);
}

void TIBHeaderStatsService::BuildStartRequest() {
  if (DatabaseName.empty()) RaiseClientError(ibceStartParamsError);
  FRequestAction = spb::action_svc_db_stats;
  FOutputEnded = false;
  StartRequest = std::string(1, static_cast<char>(spb::action_svc_db_stats));
  AddStartText(DatabaseName, spb::dbname);
  AddStartNumber(Options, spb::options);
}

std::string QueryServerVersion(TIBCustomService& service) {
  service.QueryRequest = std::string(1, static_cast<char>(spb::info_svc_server_version));
  service.SendQuery();
  const std::vector<char>& buffer = service.OutputBuffer();
  // Tag, two length bytes, the text: every length checked against the buffer.
  if (buffer.size() < 3 || static_cast<uint8_t>(buffer[0]) != spb::info_svc_server_version) return {};
  const auto n = static_cast<std::size_t>(static_cast<uint8_t>(buffer[1]) | (static_cast<uint8_t>(buffer[2]) << 8));
  if (3 + n > buffer.size()) RaiseClientError(ibceOutputParsingError);
  return std::string(buffer.data() + 3, n);
}

TServerVersion ParseServerVersion(const std::string& text) {
  // "<platform>-<V, T or other letter><major>.<minor>…": "LI-V3.0.11", "WI-T4.0.0".
  for (std::size_t dash = text.find('-'); dash != std::string::npos; dash = text.find('-', dash + 1)) {
    std::size_t i = dash + 2;
    if (i >= text.size() || !std::isalpha(static_cast<unsigned char>(text[dash + 1]))) continue;
    TServerVersion version;
    const auto number = [&](int& out) {
      const std::size_t start = i;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 4)
        out = out * 10 + (text[i++] - '0');
      return i > start;
    };
    if (number(version.Major) && i < text.size() && text[i++] == '.' && number(version.Minor)) return version;
  }
  return {};
}

#include "service/backup_restore_services.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "platform/exception.h"
#include "platform/text.h"
#include "service/ib_errors.h"

namespace {

constexpr uint32_t BackupBits[] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40};
constexpr uint32_t RestoreBits[] = {0x0100, 0x0200, 0x0400, 0x0800, 0x1000, 0x2000, 0x4000};
constexpr uint32_t ValidateBits[] = {0x08, 0x10, 0x20, 0x40, 0x04, 0x02, 0x01, 0x80};

// A decimal 32-bit integer, surrounding spaces allowed; anything else is the
// conversion error the user sees with the offending text.
int32_t DecimalLength(const std::string& text) {
  const std::string digits = Trim(text, " ");
  size_t i = 0;
  if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) ++i;
  bool valid = i < digits.size();
  for (size_t k = i; k < digits.size() && valid; ++k) valid = digits[k] >= '0' && digits[k] <= '9';
  if (valid) {
    errno = 0;
    const long long value = std::strtoll(digits.c_str(), nullptr, 10);
    if (errno == 0 && value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()) {
      return static_cast<int32_t>(value);
    }
  }
  throw EConvertError("'" + text + "' is not a valid integer value");
}

// One text item per line (blank lines skipped); "name=length" adds the
// length as a number item after the name.
void AddFileList(TIBControlService& service, const TStringList& lines, uint8_t nameTag, uint8_t lengthTag) {
  for (const std::string& line : lines.Lines()) {
    if (IsBlankText(line)) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      service.AddStartText(line, nameTag);
    } else {
      const int32_t length = DecimalLength(line.substr(eq + 1));
      service.AddStartText(line.substr(0, eq), nameTag);
      service.AddStartNumber(length, lengthTag);
    }
  }
}

}  // namespace

uint32_t BackupOptionBit(TBackupOption option) { return BackupBits[static_cast<unsigned>(option)]; }
uint32_t RestoreOptionBit(TRestoreOption option) { return RestoreBits[static_cast<unsigned>(option)]; }
uint32_t ValidateOptionBit(TValidateOption option) { return ValidateBits[static_cast<unsigned>(option)]; }

uint32_t BackupOptionsValue(TBackupOptions options) {
  uint32_t value = 0;
  for (unsigned m = 0; m < std::size(BackupBits); ++m) {
    if (options.Contains(static_cast<TBackupOption>(m))) value += BackupBits[m];
  }
  return value;
}

uint32_t RestoreOptionsValue(TRestoreOptions options) {
  uint32_t value = 0;
  for (unsigned m = 0; m < std::size(RestoreBits); ++m) {
    if (options.Contains(static_cast<TRestoreOption>(m))) value += RestoreBits[m];
  }
  return value;
}

std::string TIBControlAndQueryService::NextOutputLine() {
  if (FOutputEnded) return std::string();
  if (FRequestAction == 0) RaiseClientError(ibceQueryParamsError);
  QueryRequest = std::string(1, static_cast<char>(spb::info_svc_line));
  SendQuery();
  std::vector<char>& buffer = OutputBuffer();
  // Our own bounds: the tag, the two length bytes and the end byte must all
  // lie inside the buffer, whatever length the answer claims.
  if (buffer.size() < 4 || static_cast<uint8_t>(buffer[0]) != spb::info_svc_line) {
    RaiseClientError(ibceOutputParsingError);
  }
  const TClientEntryPoints& api = ClientEntryPoints();
  const auto n = static_cast<size_t>(static_cast<uint16_t>(api.isc_vax_integer(buffer.data() + 1, 2)));
  if (3 + n >= buffer.size() || static_cast<uint8_t>(buffer[3 + n]) != spb::info_end) {
    RaiseClientError(ibceOutputParsingError);
  }
  if (n == 0) {
    FOutputEnded = true;
    return std::string();
  }
  FOutputEnded = false;
  buffer[3 + n] = '\0';
  return std::string(buffer.data() + 3);
}

void TIBBackupService::BuildStartRequest() {
  if (DatabaseName.empty()) RaiseClientError(ibceStartParamsError);
  const uint32_t options = BackupOptionsValue(Options);
  FRequestAction = spb::action_svc_backup;
  FOutputEnded = false;
  StartRequest = std::string(1, static_cast<char>(spb::action_svc_backup));
  AddStartText(DatabaseName, spb::dbname);
  AddStartText(SQLRole, spb::sql_role_name);
  AddStartNumber(static_cast<int32_t>(options), spb::options);
  if (Verbose) StartRequest += static_cast<char>(spb::verbose);
  if (BlockingFactor > 0) AddStartNumber(BlockingFactor, spb::bkp_factor);
  AddFileList(*this, BackupFile, spb::bkp_file, spb::bkp_length);
}

void TIBRestoreService::BuildStartRequest() {
  const uint32_t options = RestoreOptionsValue(Options);
  FRequestAction = spb::action_svc_restore;
  FOutputEnded = false;
  StartRequest = std::string(1, static_cast<char>(spb::action_svc_restore));
  AddStartText(SQLRole, spb::sql_role_name);
  AddStartNumber(static_cast<int32_t>(options), spb::options);
  if (Verbose) StartRequest += static_cast<char>(spb::verbose);
  if (PageSize > 0) AddStartNumber(PageSize, spb::res_page_size);
  if (PageBuffers > 0) AddStartNumber(PageBuffers, spb::res_buffers);
  AddFileList(*this, BackupFile, spb::bkp_file, spb::bkp_length);
  AddFileList(*this, DatabaseName, spb::dbname, spb::res_length);
}

void TIBValidationService::BuildStartRequest() {
  FRequestAction = spb::action_svc_repair;
  FOutputEnded = false;
  if (DatabaseName.empty()) RaiseClientError(ibceStartParamsError);
  StartRequest = std::string(1, static_cast<char>(spb::action_svc_repair));
  AddStartText(DatabaseName, spb::dbname);
  uint32_t first = 0;
  uint32_t second = 0;
  for (unsigned m = 0; m < std::size(ValidateBits); ++m) {
    const auto option = static_cast<TValidateOption>(m);
    if (!Options.Contains(option)) continue;
    if (option == TValidateOption::SweepDB || option == TValidateOption::ValidateDB) {
      first += ValidateBits[m];
    } else {
      second += ValidateBits[m];
    }
  }
  if (first > 0) AddStartNumber(static_cast<int32_t>(first), spb::options);
  if (second > 0) AddStartNumber(static_cast<int32_t>(second), spb::options);
}

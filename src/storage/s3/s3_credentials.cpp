#include "storage/s3/s3_credentials.h"

#include <sstream>

#include "platform/exception.h"
#include "platform/private_file.h"
#include "platform/text.h"
#include "storage/s3/s3_place.h"

namespace {

// The lines of `profile`'s section (or of the file without sections): the
// name before "=" lower-cased, the value trimmed.
void ReadSection(const std::string& text, std::string_view profile, TS3Credentials& keys) {
  std::istringstream lines(text);
  std::string section;
  bool hasSections = false;
  for (std::string line; std::getline(lines, line);) {
    line = TrimControls(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
      if (StartsWith(section, "profile ")) section = Trim(section.substr(8));
      hasSections = true;
      continue;
    }
    if (hasSections && section != profile) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = AsciiLower(Trim(line.substr(0, equals)));
    const std::string value = Trim(line.substr(equals + 1));
    if (name == "aws_access_key_id") keys.AccessKeyId = value;
    if (name == "aws_secret_access_key") keys.SecretAccessKey = value;
    if (name == "aws_session_token") keys.SessionToken = value;
  }
}

}  // namespace

TS3Credentials ReadCredentialsFile(const std::string& path, std::string_view profile) {
  const std::string text = ReadPrivateFile(path, "object-storage key file");
  TS3Credentials keys;
  ReadSection(text, profile, keys);
  if (keys.AccessKeyId.empty() || keys.SecretAccessKey.empty()) {
    throw Exception("The object-storage key file " + path + " gives no aws_access_key_id and aws_secret_access_key" +
                    (text.find('[') != std::string::npos ? " in its [" + std::string(profile) + "] section" : ""));
  }
  return keys;
}

std::optional<TS3Credentials> CredentialsFromEnvironment() {
  TS3Credentials keys{EnvironmentSetting("AWS_ACCESS_KEY_ID"), EnvironmentSetting("AWS_SECRET_ACCESS_KEY"),
                      EnvironmentSetting("AWS_SESSION_TOKEN")};
  if (keys.AccessKeyId.empty() || keys.SecretAccessKey.empty()) return std::nullopt;
  return keys;
}

TS3Credentials ResolveCredentials(const std::string& keyFile) {
  if (!keyFile.empty()) return ReadCredentialsFile(keyFile);
  if (auto keys = CredentialsFromEnvironment()) return *keys;
  throw Exception(
      "No object-storage keys: name a key file (readable by its owner only) or set AWS_ACCESS_KEY_ID and "
      "AWS_SECRET_ACCESS_KEY");
}

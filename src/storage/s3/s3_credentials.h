#pragma once
// The keys that sign requests to the object store. They come from a file
// readable by its owner only (the ecosystem's credentials format) or from
// AWS_ACCESS_KEY_ID / AWS_SECRET_ACCESS_KEY (and AWS_SESSION_TOKEN), and go
// nowhere but into the signature: never into a message, a log or a command
// line.
//
// The file, as the ecosystem's tools write it:
//   [default]
//   aws_access_key_id = AKIA…
//   aws_secret_access_key = …
// (the section may be left out; with several, "default" or the one named).

#include <optional>
#include <string>
#include <string_view>

struct TS3Credentials {
  std::string AccessKeyId;
  std::string SecretAccessKey;
  std::string SessionToken;  // temporary keys only
};

// Raises EOSError naming the file when it cannot be read or others may read
// it, Exception when it lacks either key.
TS3Credentials ReadCredentialsFile(const std::string& path, std::string_view profile = "default");

// The keys of the environment; nullopt unless both are set.
std::optional<TS3Credentials> CredentialsFromEnvironment();

// The file's keys when a file is named, else the environment's. Raises
// Exception when neither gives any.
TS3Credentials ResolveCredentials(const std::string& keyFile);

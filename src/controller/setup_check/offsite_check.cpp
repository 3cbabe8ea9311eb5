// The off-site place of an entry, checked as its copies will use it: the
// keys' file readable and its owner's only, the encryption key readable,
// and the bucket answering under the prefix with those keys.

#include "controller/jobs/offsite/offsite_place.h"
#include "controller/setup_check/setup_check.h"
#include "storage/s3/s3_credentials.h"

namespace {

TCheckItem KeysItem(const TOffsiteSettings& place) {
  if (place.Credentials.empty())
    return CredentialsFromEnvironment()
               ? TCheckItem{true, "off-site keys from the environment (AWS_ACCESS_KEY_ID)"}
               : TCheckItem{false, "off-site keys: no --s3-credentials file and none in the environment"};
  try {
    ReadCredentialsFile(place.Credentials);
    return {true, "off-site keys file " + place.Credentials + " readable, its owner's only"};
  } catch (const std::exception& error) {
    return {false, std::string("off-site keys: ") + error.what()};
  }
}

TCheckItem EncryptionItem(const TOffsiteSettings& place) {
  try {
    const std::optional<TCryptKey> key = OffsiteKeyOf(place);
    return {true, "encryption key " + place.EncryptKey + " (id " + key->Id() + ")"};
  } catch (const std::exception& error) {
    return {false, std::string("encryption key: ") + error.what()};
  }
}

TCheckItem BucketItem(const TOffsiteSettings& place) {
  try {
    // A check waits for no long pauses between attempts.
    TS3Options options;
    options.Retry = {2, 500, 2000};
    const std::unique_ptr<TS3Target> target = OffsiteTargetOf(place, options);
    const bool locked = target->Client().ObjectLockEnabled();
    const std::size_t objects = target->List().size();
    return {true, "bucket " + target->Describe({}) + " answers: " + std::to_string(objects) +
                      " objects under the prefix, Object Lock " + (locked ? "on" : "off")};
  } catch (const std::exception& error) {
    return {false, "bucket " + place.Url + ": " + error.what()};
  }
}

}  // namespace

std::vector<TCheckItem> CheckOffsitePlace(const TOffsiteSettings& place) {
  if (!place.Active()) return {};
  std::vector<TCheckItem> items{KeysItem(place)};
  if (!place.EncryptKey.empty()) items.push_back(EncryptionItem(place));
  if (items.front().Fine) items.push_back(BucketItem(place));
  return items;
}

#include "storage/s3/s3_place.h"

#include <cstdlib>

#include "platform/exception.h"
#include "platform/text.h"

namespace {

constexpr std::string_view S3Scheme = "s3://";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsIpAddress(std::string_view host) {
  if (StartsWith(host, "[")) return true;
  for (char c : host) {
    if (!IsDigit(c) && c != '.') return false;
  }
  return !host.empty();
}

}  // namespace

std::string EnvironmentSetting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? Trim(value) : std::string();
}

std::string TS3Place::Describe(std::string_view key) const { return "s3://" + Bucket + "/" + std::string(key); }

std::string BucketNameProblem(std::string_view bucket) {
  if (bucket.size() < 3 || bucket.size() > 63) return "a bucket's name has 3 to 63 characters";
  for (char c : bucket) {
    if (!((c >= 'a' && c <= 'z') || IsDigit(c) || c == '-' || c == '.')) {
      return "a bucket's name has only lower-case letters, digits, dots and hyphens";
    }
  }
  auto alnum = [](char c) { return (c >= 'a' && c <= 'z') || IsDigit(c); };
  if (!alnum(bucket.front()) || !alnum(bucket.back())) return "a bucket's name starts and ends with a letter or digit";
  return {};
}

TS3ObjectUrl ObjectOfUrl(std::string_view url) {
  if (!StartsWith(AsciiLower(url.substr(0, S3Scheme.size())), S3Scheme)) {
    throw Exception("'" + std::string(url) + "' is not an object-storage address (s3://bucket/prefix)");
  }
  const std::string_view rest = url.substr(S3Scheme.size());
  const std::size_t slash = rest.find('/');
  TS3ObjectUrl object;
  object.Bucket = std::string(rest.substr(0, slash));
  if (slash != std::string_view::npos) object.Key = std::string(rest.substr(slash + 1));
  if (const std::string problem = BucketNameProblem(object.Bucket); !problem.empty()) {
    throw Exception("'" + std::string(url) + "' does not name a bucket: " + problem);
  }
  return object;
}

TS3Place PlaceOfUrl(std::string_view url) {
  TS3ObjectUrl object = ObjectOfUrl(url);
  TS3Place place;
  place.Bucket = object.Bucket;
  place.Prefix = object.Key;
  while (StartsWith(place.Prefix, "/")) place.Prefix.erase(0, 1);
  if (!place.Prefix.empty() && place.Prefix.back() != '/') place.Prefix += '/';
  return place;
}

TS3Endpoint ParseEndpoint(std::string_view endpoint) {
  const std::string text(endpoint);
  auto fail = [&](const std::string& why) -> Exception {
    return Exception("The object store's address '" + text + "' " + why);
  };
  TS3Endpoint parts;
  const std::size_t schemeEnd = endpoint.find("://");
  if (schemeEnd == std::string_view::npos) throw fail("lacks its scheme (http:// or https://)");
  parts.Scheme = AsciiLower(endpoint.substr(0, schemeEnd));
  if (parts.Scheme != "http" && parts.Scheme != "https") throw fail("is neither http:// nor https://");
  std::string_view authority = endpoint.substr(schemeEnd + 3);
  while (!authority.empty() && authority.back() == '/') authority.remove_suffix(1);
  if (authority.find_first_of("/?#@ ") != std::string_view::npos) {
    throw fail("has more than a host and a port (no path, user or query)");
  }
  const std::size_t bracket = authority.rfind(']');
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    parts.Port = std::string(authority.substr(colon + 1));
    authority = authority.substr(0, colon);
    bool digits = !parts.Port.empty() && parts.Port.size() <= 5;
    for (char c : parts.Port) digits = digits && IsDigit(c);
    if (!digits || std::atoi(parts.Port.c_str()) == 0 || std::atoi(parts.Port.c_str()) > 65535) {
      throw fail("has an invalid port");
    }
  }
  if (authority.empty()) throw fail("names no host");
  parts.Host = AsciiLower(authority);
  return parts;
}

TS3Place ResolvePlace(TS3Place place) {
  if (place.Region.empty()) place.Region = EnvironmentSetting("AWS_REGION");
  if (place.Region.empty()) place.Region = EnvironmentSetting("AWS_DEFAULT_REGION");
  if (place.Region.empty()) place.Region = DefaultRegion;
  if (place.Endpoint.empty()) place.Endpoint = EnvironmentSetting("AWS_ENDPOINT_URL");
  if (place.Endpoint.empty()) {
    throw Exception("No object store is named: give its address (https://…) or set AWS_ENDPOINT_URL");
  }
  const TS3Endpoint parts = ParseEndpoint(place.Endpoint);
  if (const std::string problem = BucketNameProblem(place.Bucket); !problem.empty()) {
    throw Exception("'" + place.Bucket + "' cannot be a bucket: " + problem);
  }
  if (place.Addressing == TS3Addressing::Auto) {
    const bool path =
        IsIpAddress(parts.Host) || parts.Host == "localhost" || place.Bucket.find('.') != std::string::npos;
    place.Addressing = path ? TS3Addressing::Path : TS3Addressing::VirtualHost;
  }
  return place;
}

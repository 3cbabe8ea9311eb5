#pragma once
// Where objects go in an S3-compatible store: the endpoint (the store's
// address), the region that signs requests, the bucket, a prefix inside it,
// and how the bucket is addressed (in the path, or as part of the host name).
//
//   TS3Place place = PlaceOfUrl("s3://backups/shop");  // bucket "backups", prefix "shop/"
//   place.Endpoint = "http://127.0.0.1:7480";
//   place.ObjectKey("shop_06_12_26_14_05.gbk.zst");     // "shop/shop_06_12_26_14_05.gbk.zst"

#include <string>
#include <string_view>

enum class TS3Addressing {
  // Path style for an address (an IP address, localhost) or a bucket with
  // dots (no certificate covers its host name); the host name otherwise.
  Auto,
  Path,         // http://host/bucket/key
  VirtualHost,  // http://bucket.host/key
};

struct TS3Place {
  std::string Endpoint;  // "https://s3.example.net", "http://127.0.0.1:7480"
  std::string Region;    // signs every request; "us-east-1" where the store has no regions
  std::string Bucket;
  std::string Prefix;  // "" or "folder/": every object name goes under it
  TS3Addressing Addressing = TS3Addressing::Auto;

  // The key of an object named `name` under the prefix.
  std::string ObjectKey(std::string_view name) const { return Prefix + std::string(name); }
  // "s3://bucket/key" (an empty key: the place itself), for messages.
  std::string Describe(std::string_view key = {}) const;
};

// The region when none is given: the one stores without regions accept.
inline constexpr std::string_view DefaultRegion = "us-east-1";

// Bucket and prefix of "s3://bucket" or "s3://bucket/prefix" (a prefix gets
// a trailing "/"). Raises Exception for another scheme or an invalid bucket.
TS3Place PlaceOfUrl(std::string_view url);

// The bucket and key of "s3://bucket/key" (the object's full key).
struct TS3ObjectUrl {
  std::string Bucket;
  std::string Key;
};
TS3ObjectUrl ObjectOfUrl(std::string_view url);

// The place made ready for requests: the endpoint checked ("http" or
// "https", a host, an optional port, no path), the region and the endpoint
// taken from AWS_REGION (or AWS_DEFAULT_REGION) and AWS_ENDPOINT_URL where
// they are empty, as the ecosystem's tools take them. Raises Exception
// naming what is missing or wrong.
TS3Place ResolvePlace(TS3Place place);

// The parts of an endpoint URL.
struct TS3Endpoint {
  std::string Scheme;  // "http" or "https"
  std::string Host;    // a name, an IPv4 address or "[IPv6]"
  std::string Port;    // "" for the scheme's own
};
TS3Endpoint ParseEndpoint(std::string_view endpoint);

// The trimmed value of an environment variable; empty when it is not set.
std::string EnvironmentSetting(const char* name);

// Why `bucket` cannot be a bucket's name; empty when it can.
std::string BucketNameProblem(std::string_view bucket);

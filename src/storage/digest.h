#pragma once
// Digests and encodings that object-store requests and the encrypted format
// carry: MD5 of a body (Content-MD5, part ETags), SHA-256 (the signed payload
// hash, key ids), hexadecimal and base64 text. Raw digests are byte strings.

#include <string>
#include <string_view>

std::string Md5Of(std::string_view data);
std::string Sha256Of(std::string_view data);
// Lower-case hexadecimal digits of every byte.
std::string HexOf(std::string_view bytes);
// The bytes of an even number of hexadecimal digits (either case); `ok`
// false (and nothing returned) for any other text.
std::string BytesOfHex(std::string_view hex, bool& ok);
std::string Base64Of(std::string_view bytes);

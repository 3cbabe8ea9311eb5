#include "service/backup_file_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>

namespace {

// gbak's record types (format 10, Firebird 3) that the walk treats apart.
enum TRecord : unsigned char {
  RecBurp = 0,
  RecDatabase = 1,
  RecGlobalField = 2,
  RecRelation = 3,
  RecField = 4,
  RecIndex = 5,
  RecData = 6,
  RecBlob = 7,
  RecRelationEnd = 9,
  RecEnd = 10,
  RecSecurityClass = 12,
  RecTrigger = 13,
  RecFunction = 15,
  RecFunctionArg = 16,
  RecFunctionEnd = 17,
  RecSystemType = 19,
  RecFilter = 20,
  RecArray = 23,
  RecGenerator = 26,
  RecProcedure = 27,
  RecProcedurePrm = 28,
  RecProcedureEnd = 29,
  RecException = 30,
  RecCharset = 34,
  RecCollation = 35,
  RecSqlRoles = 36,
  RecMapping = 37,
  RecPackage = 38,
  RecLast = 39,  // database creators
};

constexpr unsigned char AttEnd = 0;
constexpr unsigned char AttBackupFormat = 2;
constexpr unsigned char AttBackupCompress = 4;
constexpr unsigned char AttBackupTransportable = 5;
constexpr unsigned char AttDataLength = 1;
constexpr unsigned char AttDataData = 2;
constexpr unsigned char AttXdrLength = 17;
constexpr unsigned char AttBlobNumberSegments = 5;
constexpr unsigned char AttBlobData = 7;
constexpr unsigned char AttXdrArray = 18;
constexpr std::int64_t JudgedFormat = 10;

// Lengths beyond these are no gbak file's: the walk gives up rather than
// skip to the end of the file and call it cut short.
constexpr std::uint64_t LongestRecord = 16u << 20;
constexpr std::uint64_t LongestBlobAttribute = 1u << 30;

// How an attribute's value is written. Most are an id, a length byte and
// the value; text and BLR kept in blobs (sources, descriptions, BLR, ACLs)
// are an id, the length byte 4 and a 4-byte length, then that many bytes;
// an exception's long message is an id, a 2-byte length and the text.
enum class TShape { Plain, Blob, Message };

struct TSpecialAttributes {
  unsigned char Record;
  TShape Shape;
  std::initializer_list<unsigned char> Ids;
};

// Every attribute gbak writes in another shape than Plain, by record type.
// clang-format off
const TSpecialAttributes SpecialAttributes[] = {
    {RecDatabase,      TShape::Blob, {6, 10}},
    {RecGlobalField,   TShape::Blob, {6, 15, 16, 17, 18, 19, 20, 21, 35, 36, 37, 39, 40}},
    {RecRelation,      TShape::Blob, {2, 3, 9, 11, 13, 14, 15}},
    {RecField,         TShape::Blob, {6, 15, 16, 35, 39}},
    {RecIndex,         TShape::Blob, {6, 9, 10, 11}},
    {RecSecurityClass, TShape::Blob, {12, 13, 19}},
    {RecTrigger,       TShape::Blob, {2, 3, 7, 10, 11, 14}},
    {RecFunction,      TShape::Blob, {2, 9, 13, 14, 16}},
    {RecFunctionArg,   TShape::Blob, {13, 14, 20}},
    {RecSystemType,    TShape::Blob, {4, 13}},
    {RecFilter,        TShape::Blob, {7, 12}},
    {RecGenerator,     TShape::Blob, {4}},
    {RecProcedure,     TShape::Blob, {4, 5, 6, 7, 8, 13}},
    {RecProcedurePrm,  TShape::Blob, {5, 6, 7, 8}},
    {RecException,     TShape::Blob, {4}},
    {RecException,     TShape::Message, {5}},
    {RecCharset,       TShape::Blob, {7}},
    {RecCollation,     TShape::Blob, {7, 10}},
    {RecSqlRoles,      TShape::Blob, {3}},
    {RecMapping,       TShape::Blob, {10}},
    {RecPackage,       TShape::Blob, {2, 3, 7}},
};
// clang-format on

TShape ShapeOf(unsigned char record, unsigned char id) {
  for (const TSpecialAttributes& special : SpecialAttributes)
    if (special.Record == record && std::find(special.Ids.begin(), special.Ids.end(), id) != special.Ids.end())
      return special.Shape;
  return TShape::Plain;
}

// The walk's two ways out before the end record.
struct TRanOut {};
struct TNotJudged {};

// The file read front to back through a window; skipping moves past bytes
// without reading them.
class TStream {
 public:
  TStream(std::uint64_t size, const TReadAt& read) : FSize(size), FRead(read) {}

  unsigned char Byte() {
    if (FAt >= FWindowStart + FWindow.size()) Fill();
    return static_cast<unsigned char>(FWindow[static_cast<std::size_t>(FAt++ - FWindowStart)]);
  }
  void Skip(std::uint64_t count) {
    if (count > FSize - std::min(FAt, FSize)) throw TRanOut{};
    FAt += count;
  }
  // A little-endian number of `count` bytes.
  std::uint64_t Number(std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value |= static_cast<std::uint64_t>(Byte()) << (8 * i);
    return value;
  }

 private:
  static constexpr std::size_t WindowSize = 1u << 20;

  void Fill() {
    if (FAt >= FSize) throw TRanOut{};
    FWindowStart = FAt;
    FWindow = FRead(FAt, static_cast<std::size_t>(std::min<std::uint64_t>(WindowSize, FSize - FAt)));
    // A file that reads shorter than it is (it shrank, an I/O error) proves
    // nothing.
    if (FWindow.empty()) throw TNotJudged{};
  }

  std::uint64_t FSize;
  const TReadAt& FRead;
  std::uint64_t FAt = 0;
  std::uint64_t FWindowStart = 0;
  std::string FWindow;
};

// One record's attributes, as gbak's restore reads them.
class TWalk {
 public:
  explicit TWalk(TStream& in) : FIn(in) {}

  // The header record: the format, and how data records are written.
  void Header() {
    // gbak names the format first.
    if (FIn.Byte() != RecBurp || FIn.Byte() != AttBackupFormat || FIn.Byte() != 4) throw TNotJudged{};
    std::int64_t format = static_cast<std::int64_t>(FIn.Number(4));
    for (unsigned char id; (id = FIn.Byte()) != AttEnd;) {
      const std::size_t length = FIn.Byte();
      const std::uint64_t value = length <= 8 ? FIn.Number(length) : (FIn.Skip(length), 0);
      if (id == AttBackupFormat) format = static_cast<std::int64_t>(value);
      if (id == AttBackupCompress) FCompressed = value != 0;
      if (id == AttBackupTransportable) FTransportable = value != 0;
    }
    if (format != JudgedFormat) throw TNotJudged{};
  }

  // Records up to the end record.
  void Records() {
    for (;;) {
      const unsigned char record = FIn.Byte();
      if (record == RecEnd) return;
      if (record == RecBurp || record > RecLast) throw TNotJudged{};
      switch (record) {
        case RecRelationEnd:
        case RecFunctionEnd:
        case RecProcedureEnd: break;  // a type byte alone
        case RecData: Data(); break;
        case RecBlob: Blob(); break;
        case RecArray: Array(); break;
        default: Attributes(record, AttEnd); break;
      }
    }
  }

 private:
  // Attributes up to `last` (att_end, or the data that follows them); the
  // value of the plain ones with ids in `wanted`, when given.
  void Attributes(unsigned char record, unsigned char last, std::uint64_t* values = nullptr) {
    for (unsigned char id; (id = FIn.Byte()) != last;) {
      if (id == AttEnd) throw TNotJudged{};  // the record ends before its data
      switch (ShapeOf(record, id)) {
        case TShape::Plain: {
          const std::size_t length = FIn.Byte();
          if (values != nullptr && length <= 8)
            values[id] = FIn.Number(length);
          else
            FIn.Skip(length);
          break;
        }
        case TShape::Blob: {
          if (FIn.Byte() != 4) throw TNotJudged{};
          FIn.Skip(Bounded(FIn.Number(4), LongestBlobAttribute));
          break;
        }
        case TShape::Message: FIn.Skip(FIn.Number(2)); break;
      }
    }
  }

  static std::uint64_t Bounded(std::uint64_t length, std::uint64_t limit) {
    if (length > limit) throw TNotJudged{};
    return length;
  }

  void Data() {
    std::uint64_t values[256] = {};
    Attributes(RecData, AttDataData, values);
    const std::uint64_t length = Bounded(FTransportable ? values[AttXdrLength] : values[AttDataLength], LongestRecord);
    if (!FCompressed) {
      FIn.Skip(length);
      return;
    }
    // Runs: a count byte n, then n bytes as they are (n > 0) or one byte
    // repeated -n times (n < 0), until the record's length is made.
    for (std::uint64_t made = 0; made < length;) {
      const auto count = static_cast<signed char>(FIn.Byte());
      if (count == 0) throw TNotJudged{};
      if (count > 0) {
        FIn.Skip(static_cast<std::uint64_t>(count));
        made += static_cast<std::uint64_t>(count);
      } else {
        FIn.Byte();
        made += static_cast<std::uint64_t>(-count);
      }
      if (made > length) throw TNotJudged{};
    }
  }

  // Segments, each a 2-byte length and its bytes.
  void Blob() {
    std::uint64_t values[256] = {};
    Attributes(RecBlob, AttBlobData, values);
    for (std::uint64_t segment = 0; segment < values[AttBlobNumberSegments]; ++segment) FIn.Skip(FIn.Number(2));
  }

  // The slice's 4-byte length and its bytes (in their portable form when
  // the backup is transportable).
  void Array() {
    Attributes(RecArray, AttBlobData);
    const std::uint64_t length = Bounded(FIn.Number(4), LongestBlobAttribute);
    if (length == 0) return;
    if (!FTransportable) {
      FIn.Skip(length);
      return;
    }
    if (FIn.Byte() != AttXdrArray) throw TNotJudged{};
    FIn.Skip(Bounded(FIn.Number(4), LongestBlobAttribute));
  }

  TStream& FIn;
  bool FCompressed = false;
  bool FTransportable = false;
};

}  // namespace

TBackupFileEnd JudgeBackupFile(std::uint64_t size, const TReadAt& read) {
  TStream in(size, read);
  TWalk walk(in);
  try {
    walk.Header();
  } catch (const TRanOut&) {
    // A file that stops inside what starts as a gbak header is a cut one;
    // a byte or two could be anything.
    return size >= 3 ? TBackupFileEnd::CutShort : TBackupFileEnd::Unknown;
  } catch (const TNotJudged&) {
    return TBackupFileEnd::Unknown;
  }
  try {
    walk.Records();
    return TBackupFileEnd::Complete;
  } catch (const TRanOut&) {
    return TBackupFileEnd::CutShort;
  } catch (const TNotJudged&) {
    return TBackupFileEnd::Unknown;
  }
}

TBackupFileEnd JudgeBackupFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return TBackupFileEnd::Unknown;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return TBackupFileEnd::Unknown;
  const std::streamoff end = in.tellg();
  if (end <= 0) return TBackupFileEnd::Unknown;
  const TReadAt read = [&](std::uint64_t offset, std::size_t count) {
    std::string bytes(count, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
  };
  return JudgeBackupFile(static_cast<std::uint64_t>(end), read);
}

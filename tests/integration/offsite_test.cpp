// Off-site copies as an administrator makes them with quorvinctl: a backup
// of the shared server sent to a bucket of the real RADOS gateway, plain and
// encrypted, restored from the object into a new database; an object that
// cannot be read (no key, altered) refused; a failed upload reported as
// such, with the backup on the server kept and no unfinished upload left.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "integration/fb_fixture.h"
#include "integration/quorvinctl_process.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "storage/crypt/crypt_key.h"
#include "storage/digest.h"
#include "storage/s3_gateway.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class OffsiteTest : public s3test::TS3GatewayTest {
 protected:
  void SetUp() override {
    TS3GatewayTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::ofstream(ini) << "[Main]\nUser=SYSDBA\n[Parameters]\nProtocol=0\nAutoBackName=0\n";
    WriteKeys(keys, Setting("AWS_SECRET_ACCESS_KEY"));
  }

  void WriteKeys(const std::string& path, const std::string& secret) {
    std::ofstream(path) << "[default]\naws_access_key_id = " << Setting("AWS_ACCESS_KEY_ID")
                        << "\naws_secret_access_key = " << secret << "\n";
    chmod(path.c_str(), 0600);
  }

  // quorvinctl with the store's options; no keys in its environment.
  int Ctl(std::vector<std::string> words, std::string& output, const std::string& keyFile = {}) {
    std::vector<std::string> arguments{"--config",         ini,
                                       "--log-dir",        dir.File("logs"),
                                       "--s3-endpoint",    Setting("AWS_ENDPOINT_URL"),
                                       "--s3-region",      Setting("AWS_REGION"),
                                       "--s3-credentials", keyFile.empty() ? keys : keyFile};
    arguments.insert(arguments.end(), words.begin(), words.end());
    fbtest::TCtl ctl(arguments, {"ISC_PASSWORD=" + fbtest::SysdbaPassword(), "LC_ALL=C.UTF-8"});
    const int status = ctl.Finish();
    output = ctl.Output();
    return status;
  }

  // The off-site records of `quorvinctl history`, oldest first.
  std::vector<THistoryRecord> OffsiteRecords() {
    std::string out;
    Ctl({"history", "--json"}, out);
    std::vector<THistoryRecord> found;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const std::optional<THistoryRecord> record = ParseHistoryLine(line);
      if (record && record->Kind == HistoryKindOffsite) found.insert(found.begin(), *record);
    }
    return found;
  }

  std::string Download(const std::string& key) {
    std::string bytes;
    Client().GetObject(key, [&](const char* data, std::size_t size) { bytes.append(data, size); });
    return bytes;
  }

  fbtest::TempFolder dir{"quorvin-offsite"};
  std::string ini = dir.File("Quorvin.INI");
  std::string keys = dir.File("s3-keys");
};

TEST_F(OffsiteTest, BackupSentToTheBucketAndRestoredFromItPlainAndEncrypted) {
  const std::string db = dir.File("shop.fdb");
  fbtest::CreateDatabase(db);
  const std::string keyFile = dir.File("copies.key");
  const TCryptKey key = CreateKeyFile(keyFile);
  struct TCase {
    const char* Prefix;
    bool Encrypted;
  };
  for (const TCase& c : {TCase{"plain", false}, TCase{"sealed", true}}) {
    SCOPED_TRACE(c.Prefix);
    std::vector<std::string> encrypt;
    if (c.Encrypted) encrypt = {"--encrypt-key", keyFile};
    std::string out;
    std::vector<std::string> backup = encrypt;
    backup.insert(backup.end(), {"--offsite", "s3://" + Bucket + "/" + c.Prefix, "backup", db});
    ASSERT_EQ(Ctl(backup, out), 0) << out;
    const std::string objectKey = std::string(c.Prefix) + "/shop.fdb.gbk.zst";
    const std::string url = "s3://" + Bucket + "/" + objectKey;
    EXPECT_TRUE(Has(out, "off-site copy: " + url)) << out;
    EXPECT_TRUE(FileExists(db + ".gbk")) << "the backup on the server stays";
    EXPECT_FALSE(Has(out, Setting("AWS_SECRET_ACCESS_KEY")));

    // What was sent, its digest in the history and beside it, its metadata.
    const std::string stored = Download(objectKey);
    const std::string digest = HexOf(Sha256Of(stored));
    ASSERT_FALSE(OffsiteRecords().empty());
    const THistoryRecord record = OffsiteRecords().back();
    EXPECT_TRUE(record.Succeeded()) << record.Reason;
    EXPECT_EQ(record.File, url);
    EXPECT_EQ(record.Sha256, digest);
    EXPECT_EQ(record.Size, stored.size());
    EXPECT_EQ(ParseSha256SumLine(Download(objectKey + ".sha256")), digest);
    const TS3ObjectInfo head = Client().HeadObject(objectKey);
    EXPECT_EQ(head.Metadata.at("quorvin-compression"), "zstd");
    EXPECT_EQ(head.Metadata.count("quorvin-key-id") ? head.Metadata.at("quorvin-key-id") : "",
              c.Encrypted ? key.Id() : "");
    EXPECT_EQ(record.KeyId, c.Encrypted ? key.Id() : "");

    const std::string target = dir.File(std::string("restored-") + c.Prefix + ".fdb");
    std::vector<std::string> restore = encrypt;
    restore.insert(restore.end(), {"restore", url, target});
    ASSERT_EQ(Ctl(restore, out), 0) << out;
    EXPECT_EQ(fbtest::RowCount(target, "T_ORDERS"), fbtest::kOrders);
    if (!c.Encrypted) continue;

    // Without the key nothing is asked of the server; an altered object is
    // refused at its first bad chunk and its unfinished database removed.
    const std::string refused = dir.File("refused.fdb");
    EXPECT_EQ(Ctl({"restore", url, refused}, out), 1) << out;
    EXPECT_TRUE(Has(out, "give its key file")) << out;
    std::string altered = stored;
    altered[altered.size() / 2] ^= 0x40;
    Client().PutObject(objectKey, altered, head.Metadata);
    EXPECT_EQ(Ctl({"--encrypt-key", keyFile, "restore", url, refused}, out), 1) << out;
    EXPECT_TRUE(Has(out, "altered, cut short or out of order: chunk")) << out;
    EXPECT_FALSE(FileExists(refused)) << out;
  }
}

TEST_F(OffsiteTest, FailedUploadIsAFailureThatLeavesNoUploadBehind) {
  const std::string db = dir.File("stock.fdb");
  fbtest::CreateDatabase(db);
  const std::string wrongKeys = dir.File("wrong-keys");
  WriteKeys(wrongKeys, "not-the-secret");
  struct TCase {
    std::string Url;
    std::string KeyFile;
    const char* Reason;
  };
  for (const TCase& c : {TCase{"s3://" + Bucket + "-missing/p", {}, "NoSuchBucket"},
                         TCase{"s3://" + Bucket + "/p", wrongKeys, "SignatureDoesNotMatch"}}) {
    SCOPED_TRACE(c.Url);
    std::string out;
    EXPECT_EQ(Ctl({"--offsite", c.Url, "backup", db}, out, c.KeyFile), 1) << out;
    EXPECT_TRUE(Has(out, "off-site copy failed") && Has(out, c.Reason)) << out;
    EXPECT_TRUE(FileExists(db + ".gbk")) << "the backup on the server stays";
    ASSERT_FALSE(OffsiteRecords().empty());
    EXPECT_FALSE(OffsiteRecords().back().Succeeded());
    EXPECT_TRUE(Client().ListMultipartUploads("").empty());
    EXPECT_TRUE(Client().ListObjects("").empty());
  }
}

// Unfinished uploads under the prefix as programs left them: the one a killed
// copy names in its unheld lock file is aborted by the next copy; one that a
// copy under way names (its lock held) and one that nobody names stay.
TEST_F(OffsiteTest, TheNextCopyAbortsOnlyTheUploadAKilledCopyLeft) {
  const std::string db = dir.File("till.fdb");
  fbtest::CreateDatabase(db);
  const std::string state = dir.File("state");
  const std::string place = "s3://" + Bucket + "/cut";
  std::string out;
  ASSERT_EQ(Ctl({"--state-dir", state, "--offsite", place, "backup", db}, out), 0) << out;
  std::string history;
  for (const std::string& file : FilesInFolder(state).value_or(std::vector<std::string>()))
    if (file.size() > 14 && file.compare(file.size() - 14, 14, ".history.jsonl") == 0) history = state + "/" + file;
  ASSERT_FALSE(history.empty());
  struct TLeft {
    const char* Name;
    const char* LockFile;  // null: named nowhere
    bool Held;
    bool Stays;
  };
  const TLeft lefts[] = {{"killed.gbk.zst", "4000001", false, false},
                         {"running.gbk.zst", "4000002", true, true},
                         {"foreign.zst", nullptr, false, true}};
  std::vector<std::unique_ptr<TFileLock>> locks;
  for (const TLeft& left : lefts) {
    const std::string key = std::string("cut/") + left.Name;
    Client().UploadPart(key, Client().CreateMultipartUpload(key), 1, "left unfinished");
    if (!left.LockFile) continue;
    const std::string file = history + ".upload-" + left.LockFile;
    // A killed program's lock file keeps what it said; the kernel dropped its lock.
    std::ofstream(file) << place << "/\t" << left.Name << "\n";
    if (!left.Held) continue;
    locks.push_back(std::make_unique<TFileLock>(file));
    ASSERT_TRUE(locks.back()->Acquire());
  }
  ASSERT_EQ(Ctl({"--state-dir", state, "--offsite", place, "backup", db}, out), 0) << out;
  std::vector<std::string> unfinished;
  for (const TS3MultipartUpload& upload : Client().ListMultipartUploads("cut/")) unfinished.push_back(upload.Key);
  for (const TLeft& left : lefts) {
    SCOPED_TRACE(left.Name);
    EXPECT_EQ(std::count(unfinished.begin(), unfinished.end(), std::string("cut/") + left.Name), left.Stays ? 1 : 0);
  }
  EXPECT_FALSE(FileExists(history + ".upload-4000001"));
  EXPECT_TRUE(FileExists(history + ".upload-4000002"));
}

// With verification the copy in the bucket is restored into a temporary
// database, which goes again; the history says how long the check took.
TEST_F(OffsiteTest, AVerifiedCopyIsRestoredFromTheBucketAndItsTemporaryDatabaseGoes) {
  const std::string db = dir.File("proof.fdb");
  fbtest::CreateDatabase(db);
  std::string out;
  ASSERT_EQ(Ctl({"--verbose", "--verify", "--offsite", "s3://" + Bucket + "/proof", "backup", db}, out), 0) << out;
  EXPECT_TRUE(Has(out, "restored into a temporary database: it is sound")) << out;
  ASSERT_FALSE(OffsiteRecords().empty());
  const THistoryRecord record = OffsiteRecords().back();
  EXPECT_TRUE(record.Succeeded()) << record.Reason;
  EXPECT_TRUE(record.VerifySeconds.has_value());
  for (const std::string& file : FilesInFolder(dir.Path()).value_or(std::vector<std::string>()))
    EXPECT_EQ(file.find(".verify-"), std::string::npos) << file;
}

}  // namespace

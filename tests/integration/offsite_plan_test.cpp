// The plan's off-site copies through the core's own plan job, against the
// shared server and a bucket of the real RADOS gateway with Object Lock: the
// copy lands in the bucket locked for the entry's days, retention removes
// only the entry's own old plan copies (a foreign object, a copy made by
// hand and a copy still locked stay), and a copy that fails is told as such
// while the backup stands.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controller/history/job_history.h"
#include "controller/jobs/offsite/offsite_place.h"
#include "controller/jobs/offsite/offsite_restore_job.h"
#include "controller/quorvin.h"
#include "controller/setup_check/setup_check.h"
#include "integration/controller_fixture_fb.h"
#include "integration/fb_fixture.h"
#include "platform/clock.h"
#include "platform/iso_time.h"
#include "storage/s3_gateway.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

constexpr std::int64_t Day = 24 * 60 * 60;

class OffsitePlanTest : public s3test::TS3GatewayTest {
 protected:
  bool CreateWithObjectLock() const override { return true; }

  void SetUp() override {
    TS3GatewayTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fbtest::CreateDatabase(db);
    WriteKeys(keys, Setting("AWS_SECRET_ACCESS_KEY"));
    q = std::make_unique<TQuorvin>(TFrontEnd{&seams, &seams}, dir.Path() + "/");
    TSettings& s = q->Settings();
    s.DataBase = db;
    s.User = "SYSDBA";
    s.Pass = fbtest::SysdbaPassword();
    s.Protocol = 0;
    s.AutoBackName = true;
    s.BackShutDown = false;
    s.Offsite = {"s3://" + Bucket + "/plan", Setting("AWS_ENDPOINT_URL"), Setting("AWS_REGION"), false, keys, ""};
  }
  void TearDown() override {
    q.reset();
    TS3GatewayTest::TearDown();
  }

  void WriteKeys(const std::string& path, const std::string& secret) {
    std::ofstream(path) << "[default]\naws_access_key_id = " << Setting("AWS_ACCESS_KEY_ID")
                        << "\naws_secret_access_key = " << secret << "\n";
    chmod(path.c_str(), 0600);
  }

  // An earlier copy in the bucket (a few bytes stand for it), with its
  // record when `by` is given; locked until `lockedUntil` when not 0.
  void PutEarlierCopy(const std::string& name, const char* by, std::int64_t lockedUntil = 0) {
    std::optional<TS3ObjectLock> lock;
    if (lockedUntil > 0) lock = TS3ObjectLock{TS3ObjectLock::TMode::Governance, lockedUntil};
    Client().PutObject("plan/" + name, "copy of " + name, {}, lock);
    Client().PutObject("plan/" + name + ".sha256", "sum of " + name, {}, lock);
    if (by == nullptr) return;
    THistoryRecord record;
    record.Start = record.End = FormatIso8601(Now() - 30);
    record.Kind = HistoryKindOffsite;
    record.By = by;
    record.Database = db;
    record.File = "s3://" + Bucket + "/plan/" + name;
    record.Outcome = HistorySuccess;
    if (lockedUntil > 0) record.ProtectedUntil = FormatIso8601(LocalDateTimeOf(lockedUntil * 1000));
    ASSERT_TRUE(AppendHistory(q->HistoryPath(), record));
  }

  bool InBucket(const std::string& name) { return Client().FindObject("plan/" + name).has_value(); }

  // The plan's backup of entry 1, as the plan timer starts it.
  void RunPlanBackup() {
    q->RunPlanBackup(q->PlanEntries().front());
    q->WaitIdle();
  }

  std::vector<THistoryRecord> Records(const char* kind, const char* by = HistoryByPlan) {
    std::vector<THistoryRecord> found;
    for (const THistoryRecord& record : ReadHistory(q->HistoryPath()))
      if (record.Kind == kind && record.By == std::string(by)) found.push_back(record);
    return found;
  }

  std::string Log() { return fbtest::RunCommand("cat " + fbtest::ShellQuote(q->Log().LogFileName())); }

  fbtest::TempFolder dir{"quorvin-offsite-plan"};
  std::string db = dir.File("shop.fdb");
  std::string keys = dir.File("s3-keys");
  ctltest::TSeams seams;
  std::unique_ptr<TQuorvin> q;
};

TEST_F(OffsitePlanTest, PlanCopyLandsLockedAndRetentionRemovesOnlyTheEntrysOwnUnlockedCopies) {
  q->Settings().KeepBackupDays = 10;
  const std::int64_t now = UtcMsOf(Now()) / 1000;
  struct TEarlier {
    const char* Name;
    const char* By;  // null: no record (another program's object)
    std::int64_t LockedUntil;
    bool Stays;
  };
  const TEarlier earlier[] = {
      {"shop.fdb_01_01_20_10_00.gbk.zst", HistoryByPlan, 0, false},
      {"shop.fdb_02_01_20_10_00.gbk.zst", HistoryByPlan, now + Day, true},
      {"shop.fdb_03_01_20_10_00.gbk.zst", nullptr, 0, true},
      {"shop.fdb_04_01_20_10_00.gbk.zst", HistoryByUser, 0, true},
      {"other.fdb_01_01_20_10_00.gbk.zst", HistoryByPlan, 0, true},
  };
  for (const TEarlier& copy : earlier) PutEarlierCopy(copy.Name, copy.By, copy.LockedUntil);

  RunPlanBackup();
  ASSERT_EQ(Records(HistoryKindBackup).size(), 1u) << seams.Dump();
  EXPECT_TRUE(Records(HistoryKindBackup).front().Succeeded());
  // The earlier copies' three plan records, then the new one.
  const std::vector<THistoryRecord> copies = Records(HistoryKindOffsite);
  ASSERT_EQ(copies.size(), 4u) << seams.Dump() << Log();
  const THistoryRecord& made = copies.back();
  ASSERT_TRUE(made.Succeeded()) << made.Reason;
  const std::string prefix = "s3://" + Bucket + "/plan/";
  ASSERT_TRUE(Has(made.File, prefix + "shop.fdb_")) << made.File;
  const std::string name = made.File.substr(prefix.size());
  EXPECT_TRUE(InBucket(name) && InBucket(name + ".sha256"));
  EXPECT_EQ(made.Size, Client().HeadObject("plan/" + name).Size);

  // Locked for the entry's ten days, as the store and the record say.
  const std::optional<TS3ObjectLock> lock = Client().HeadObject("plan/" + name).Lock;
  ASSERT_TRUE(lock.has_value());
  EXPECT_GE(lock->RetainUntil, now + 10 * Day);
  EXPECT_EQ(ParseIso8601(made.ProtectedUntil).value_or(0), lock->RetainUntil);

  const std::string log = Log();
  for (const TEarlier& copy : earlier) {
    SCOPED_TRACE(copy.Name);
    EXPECT_EQ(InBucket(copy.Name), copy.Stays);
    EXPECT_EQ(InBucket(std::string(copy.Name) + ".sha256"), copy.Stays);
    EXPECT_EQ(Has(log, "Удалена старая копия в хранилище объектов. " + prefix + copy.Name), !copy.Stays) << log;
  }
  EXPECT_TRUE(Has(log, ", не удалена. " + prefix + earlier[1].Name)) << log;
  EXPECT_TRUE(Has(log, "Копия в хранилище объектов создана. " + made.File)) << log;
  EXPECT_FALSE(Has(log, Setting("AWS_SECRET_ACCESS_KEY")));
}

TEST_F(OffsitePlanTest, FailedCopyIsToldAsSuchAndTheBackupStands) {
  WriteKeys(keys, "not-the-secret");
  const std::string told = dir.File("told");
  q->Settings().OnFailure = "echo \"$QUORVIN_EVENT $QUORVIN_BACKUP_FILE\" > " + fbtest::ShellQuote(told);
  q->Settings().OnSuccess = "true";
  RunPlanBackup();

  ASSERT_EQ(Records(HistoryKindBackup).size(), 1u) << seams.Dump();
  const THistoryRecord backup = Records(HistoryKindBackup).front();
  EXPECT_TRUE(backup.Succeeded()) << backup.Reason;
  EXPECT_TRUE(FileExists(backup.File));
  ASSERT_EQ(Records(HistoryKindOffsite).size(), 1u);
  const THistoryRecord copy = Records(HistoryKindOffsite).front();
  EXPECT_FALSE(copy.Succeeded());
  EXPECT_FALSE(copy.Reason.empty());
  EXPECT_TRUE(Client().ListObjects("").empty());
  EXPECT_TRUE(Client().ListMultipartUploads("").empty());
  std::ifstream in(told);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "offsite-failed " + copy.File);
  EXPECT_TRUE(Has(Log(), "Копия в хранилище объектов НЕ создана. " + copy.File)) << Log();
}

// The window's restore from the store: the plan's copy, chosen among what
// the place lists, restored over TCP into a new database through the core;
// a database that exists and an object that does not are refused, and
// neither leaves a database behind nor touches one that was there.
TEST_F(OffsitePlanTest, ChosenCopyIsRestoredIntoANewDatabaseOnly) {
  Client().PutObject("plan/notes.txt", "not a copy", {});
  RunPlanBackup();
  const std::vector<TStoredCopy> copies = RestorableCopiesOf(*OffsiteTargetOf(q->Settings().Offsite));
  ASSERT_EQ(copies.size(), 1u) << seams.Dump() << Log();
  const std::string url = copies.front().Location;
  ASSERT_TRUE(Has(url, "s3://" + Bucket + "/plan/shop.fdb_")) << url;

  struct TCase {
    const char* What;
    std::string Source;
    std::string Target;
    bool Restored;
    const char* Reason;
  };
  const std::string restored = dir.File("restored.fdb");
  const TCase cases[] = {
      {"a new database", url, restored, true, ""},
      {"one that exists", url, restored, false, "exists"},
      {"no such object", url + ".gone", dir.File("never.fdb"), false, "There is no object"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    std::optional<bool> heard;
    q->RestoreOffsite(c.Source, c.Target, [&heard](bool done) { heard = done; });
    q->WaitIdle();
    ASSERT_EQ(heard, std::optional<bool>(c.Restored)) << seams.Dump();
    const std::vector<THistoryRecord> records = Records(HistoryKindRestore, HistoryByUser);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().File, c.Source);
    EXPECT_EQ(records.back().Database, c.Target);
    EXPECT_EQ(records.back().Succeeded(), c.Restored);
    EXPECT_TRUE(Has(records.back().Reason, c.Reason)) << records.back().Reason;
    // The database restored first is there, whole, after every case.
    EXPECT_EQ(fbtest::RowCount(restored, "T_ORDERS"), fbtest::RowCount(db, "T_ORDERS"));
  }
  EXPECT_FALSE(FileExists(dir.File("never.fdb")));
  EXPECT_EQ(Records(HistoryKindRestore, HistoryByUser).size(), 3u);
}

// quorvinctl check's items of an entry's place: each says what it found,
// and what is wrong fails alone.
TEST_F(OffsitePlanTest, CheckOfThePlaceSaysWhatIsWrong) {
  const TOffsiteSettings good = q->Settings().Offsite;
  struct TCase {
    const char* What;
    std::function<void(TOffsiteSettings&)> Spoil;
    std::vector<bool> Fine;  // keys, then the bucket
    const char* Says;
  };
  const TCase cases[] = {
      {"all well", [](TOffsiteSettings&) {}, {true, true}, "Object Lock on"},
      {"keys others may read", [&](TOffsiteSettings&) { chmod(keys.c_str(), 0644); }, {false}, "chmod 600"},
      {"no such bucket",
       [](TOffsiteSettings& p) { p.Url = "s3://qv-no-such-bucket-here/plan"; },
       {true, false},
       "NoSuchBucket"},
      {"no key file",
       [&](TOffsiteSettings& p) { p.EncryptKey = dir.File("missing.key"); },
       {true, false, true},
       "missing.key"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TOffsiteSettings place = good;
    chmod(keys.c_str(), 0600);
    c.Spoil(place);
    const std::vector<TCheckItem> items = CheckOffsitePlace(place);
    std::vector<bool> fine;
    std::string texts;
    for (const TCheckItem& item : items) {
      fine.push_back(item.Fine);
      texts += item.Text + "\n";
    }
    EXPECT_EQ(fine, c.Fine) << texts;
    EXPECT_TRUE(Has(texts, c.Says)) << texts;
    EXPECT_FALSE(Has(texts, Setting("AWS_SECRET_ACCESS_KEY")));
  }
  EXPECT_TRUE(CheckOffsitePlace({}).empty());
}

}  // namespace

// What can go wrong in a job's description: the "[...]" text of its
// switches, the settings' switches mapped onto the wrong options, and the
// limits of its texts and file names.

#include <gtest/gtest.h>

#include <string>

#include "jobs/job.h"
#include "jobs/job_switches.h"
#include "service/backup_restore_services.h"
#include "service/service_connection.h"

namespace {

TJob JobOfKind(TJobKind kind) {
  TJob job;
  job.Kind = kind;
  return job;
}

}  // namespace

TEST(Job, SwitchesTextPerKind) {
  const TBackupOptions backupAll = {TBackupOption::IgnoreChecksums, TBackupOption::IgnoreLimbo,
                                    TBackupOption::MetadataOnly,    TBackupOption::NoGarbageCollection,
                                    TBackupOption::OldMetadataDesc, TBackupOption::NonTransportable,
                                    TBackupOption::ConvertExtTables};
  const TRestoreOptions restoreAll = {TRestoreOption::DeactivateIndexes, TRestoreOption::NoShadow,
                                      TRestoreOption::NoValidityCheck,   TRestoreOption::OneRelationAtATime,
                                      TRestoreOption::Replace,           TRestoreOption::CreateNewDB,
                                      TRestoreOption::UseAllSpace};
  const TValidateOptions repairAll = {
      TValidateOption::LimboTransactions, TValidateOption::CheckDB,     TValidateOption::IgnoreChecksum,
      TValidateOption::KillShadows,       TValidateOption::MendDB,      TValidateOption::SweepDB,
      TValidateOption::ValidateDB,        TValidateOption::ValidateFull};
  const struct {
    const char* name;
    TJobKind kind;
    TBackupOptions backup;
    TRestoreOptions restore;
    TValidateOptions repair;
    const char* text;
  } cases[] = {
      {"backup, none", TJobKind::Backup, {}, restoreAll, repairAll, "[]"},
      {"backup, one", TJobKind::Backup, {TBackupOption::IgnoreLimbo}, {}, {}, "[Ignore limbo transactions]"},
      {"backup, in the switches' order",
       TJobKind::Backup,
       backupAll,
       {},
       {},
       "[Ignore checksums,Ignore limbo transactions,Metadata only,Old metadata description,No garbage collection,"
       "Non-transportable,Convert external tables]"},
      {"restore, two",
       TJobKind::Restore,
       backupAll,
       {TRestoreOption::UseAllSpace, TRestoreOption::Replace},
       {},
       "[Replace,Use all space]"},
      {"restore, all",
       TJobKind::Restore,
       {},
       restoreAll,
       {},
       "[Deactivate indexes,No shadow files,No validity check,One relation at a time,Replace,Create new database,"
       "Use all space]"},
      {"repair, the chain's check",
       TJobKind::Repair,
       {},
       {},
       {TValidateOption::ValidateFull, TValidateOption::ValidateDB},
       "[Validate database,Full validate]"},
      {"repair, all",
       TJobKind::Repair,
       {},
       {},
       repairAll,
       "[Limbo transactions,Check database only,Ignore checksum errors,Kill shadow files,Mend database,"
       "Sweep database,Validate database,Full validate]"},
      {"physical backup", TJobKind::PhysicalBackup, backupAll, restoreAll, repairAll, "[]"},
      {"physical restore", TJobKind::PhysicalRestore, backupAll, restoreAll, repairAll, "[]"},
  };
  for (const auto& c : cases) {
    TJob job = JobOfKind(c.kind);
    job.BackupOptions = c.backup;
    job.RestoreOptions = c.restore;
    job.RepairOptions = c.repair;
    EXPECT_EQ(SwitchesText(job), c.text) << c.name;
  }
}

TEST(Job, EachSettingsSwitchSelectsItsOption) {
  // The option bits switch n ends up sending, as the server reads them.
  const uint32_t backupBits[7] = {0x01, 0x02, 0x04, 0x10, 0x08, 0x20, 0x40};
  const uint32_t restoreBits[7] = {0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000};
  const uint32_t repairBits[8] = {0x08, 0x10, 0x20, 0x40, 0x04, 0x02, 0x01, 0x80};
  for (int n = 0; n < 7; ++n) {
    bool on[7] = {};
    on[n] = true;
    EXPECT_EQ(BackupOptionsValue(OptionsOfSwitches(BackupSwitches, on)), backupBits[n]) << n + 1;
    EXPECT_EQ(RestoreOptionsValue(OptionsOfSwitches(RestoreSwitches, on)), restoreBits[n]) << n + 1;
  }
  for (int n = 0; n < 8; ++n) {
    bool on[8] = {};
    on[n] = true;
    const TValidateOptions options = OptionsOfSwitches(RepairSwitches, on);
    uint32_t bits = 0;
    for (int member = 0; member < 8; ++member)
      if (options.Contains(static_cast<TValidateOption>(member)))
        bits |= ValidateOptionBit(static_cast<TValidateOption>(member));
    EXPECT_EQ(bits, repairBits[n]) << n + 1;
  }
}

TEST(Job, ShortTextsAreCutTo40CharactersOnCharacterBoundaries) {
  std::string cyrillic45;
  for (int i = 0; i < 45; ++i) cyrillic45 += "Ж";  // two bytes each
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {std::string(40, 'q'), std::string(40, 'q')},
      {std::string(50, 'a'), std::string(40, 'a')},
      {cyrillic45, cyrillic45.substr(0, 80)},
      {std::string(39, 'x') + "€yz", std::string(39, 'x') + "€"},  // "€", three bytes, is the 40th
      {"😀" + std::string(45, 'b'), "😀" + std::string(39, 'b')},
  };
  for (const auto& c : cases) {
    TJob job;
    job.Name.Set(c.in);
    job.UserName.Set(c.in);
    job.Password.Set(c.in);
    EXPECT_EQ(job.Name.Get(), c.out) << c.in;
    EXPECT_EQ(job.UserName.Get(), c.out) << c.in;
    EXPECT_EQ(job.Password.Get(), c.out) << c.in;
  }
  EXPECT_EQ(TJob().Name.Get(), "New job");
}

TEST(Job, FileNamesLongerThan80CharactersAreRefusedNeverShortened) {
  const std::string ascii80 = "/" + std::string(75, 'd') + ".fdb";
  std::string cyrillic80 = "/";
  for (int i = 0; i < 75; ++i) cyrillic80 += "б";
  cyrillic80 += ".fdb";  // 80 characters, 155 bytes
  const struct {
    std::string in;
    std::string kept;
    std::string refused;
  } cases[] = {
      {ascii80, ascii80, ""},
      {cyrillic80, cyrillic80, ""},
      {ascii80 + "x", "", ascii80 + "x"},
      {cyrillic80 + "б", "", cyrillic80 + "б"},
  };
  for (const auto& c : cases) {
    TJobFileName name;
    name.Set(c.in);
    EXPECT_EQ(name.Get(), c.kept) << c.in;
    EXPECT_EQ(name.Refused(), c.refused) << c.in;
    // A fitting name afterwards takes the field back.
    name.Set("/a.fdb");
    EXPECT_EQ(name.Get(), "/a.fdb");
    EXPECT_EQ(name.Refused(), "");
  }
}

TEST(Job, SourceTargetAndProtocolOfTheSettings) {
  TJob job;
  job.Database.Set("/db/a.fdb");
  job.BackupFile.Set("/b/a.gbk");
  for (TJobKind kind : {TJobKind::Backup, TJobKind::Repair, TJobKind::PhysicalBackup}) {
    job.Kind = kind;
    EXPECT_EQ(SourceOf(job).Get(), "/db/a.fdb");
    EXPECT_EQ(TargetOf(job).Get(), "/b/a.gbk");
  }
  for (TJobKind kind : {TJobKind::Restore, TJobKind::PhysicalRestore}) {
    job.Kind = kind;
    EXPECT_EQ(SourceOf(job).Get(), "/b/a.gbk");
    EXPECT_EQ(TargetOf(job).Get(), "/db/a.fdb");
  }
  // None chosen (−1) stays a value no service manager name is made for.
  EXPECT_EQ(ServiceManagerName(JobProtocolOf(-1), "srv"), "");
  EXPECT_EQ(JobProtocolOf(0), TProtocol::TCP);
  EXPECT_EQ(JobProtocolOf(3), TProtocol::Local);
}

// Verification, history records and the restore's check of its source,
// against the real Firebird: the embedded engine (protocol Local) and the
// server on this computer (TCP).

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "controller/history/job_history.h"
#include "integration/controller_fixture_fb.h"
#include "jobs/job_runner.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "platform/temp_folder.h"

namespace ctltest {
namespace {

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

using ControllerHistory = ControllerFirebird;

// Local: copy only, verified by restoring the copy from this computer; TCP:
// the server's file verified, the copy beside it. The verification, the
// backup (naming both files) and a restore from the file are recorded; a
// restore from a copy whose checksum file no longer says what the history
// knows stops before anything is touched.
TEST_F(ControllerHistory, VerifiedBackupsWithCopiesAndTheirRestoresAreRecordedLocalAndTcp) {
  const std::string copies = dir.File("copies"), copy = copies + "/base.fdb.gbk.zst";
  for (std::int32_t protocol : {kLocal, kTcp}) {
    const bool copyOnly = protocol == kLocal;
    SCOPED_TRACE(copyOnly ? "Local, copy only" : "TCP, server file and copy");
    std::filesystem::create_directories(copies);
    q->Settings().Protocol = protocol;
    q->Settings().VerifyBackup = true;
    q->Settings().LocalCopyDir = copies;
    q->Settings().LocalCopyOnly = copyOnly;
    seams.Lines.clear();
    ASSERT_TRUE(Backup()) << seams.Dump();
    // The verification is a section of its own after the backup's.
    EXPECT_TRUE(HasLine(seams.Lines, "Job: VERIFY BACKUP")) << seams.Dump();
    EXPECT_TRUE(HasLine(seams.Lines, copyOnly ? "Row counts not compared: a backup streamed to this computer reports "
                                                "none. Restored: 3 tables, 4500 rows"
                                              : "Row counts match the backup: 3 tables, 4500 rows"))
        << seams.Dump();
    EXPECT_TRUE(FilesWith(".verify-").empty());
    const std::string file = copyOnly ? copy : dir.File("base.fdb.gbk");
    fbtest::ShareWithServer(file);
    const std::string target = dir.File("restored_" + std::to_string(protocol) + ".fdb");
    ASSERT_TRUE(Restore(file, target)) << seams.Dump();

    const auto records = ReadHistory(q->HistoryPath());
    ASSERT_GE(records.size(), 3u);
    const std::string kinds[] = {HistoryKindVerify, HistoryKindBackup, HistoryKindRestore};
    for (std::size_t i = 0; i < 3; ++i) {
      const THistoryRecord& r = records[records.size() - 3 + i];
      EXPECT_EQ(r.Kind + r.Outcome + r.By + r.File, kinds[i] + HistorySuccess + HistoryByUser + file);
      EXPECT_EQ(r.Database, i == 2 ? target : db);
      EXPECT_EQ(r.Size, FileSize(file));
      EXPECT_EQ(r.Sha256, Sha256OfFile(file));
      // gbak's verbose output; the copy made here by gbak counts none.
      EXPECT_TRUE(r.Lines > 50u || (copyOnly && i == 1)) << r.Kind << ": " << r.Lines;
    }
    const THistoryRecord& backup = records[records.size() - 2];
    EXPECT_EQ(backup.Copy, copy);
    EXPECT_EQ(backup.CopySize, FileSize(copy));
    EXPECT_EQ(backup.CopySha256, Sha256OfFile(copy));

    WriteFileBytes(copy + ".sha256", Sha256SumLine(std::string(64, 'f'), "base.fdb.gbk.zst"));
    EXPECT_FALSE(Restore(copy, db));
    EXPECT_EQ(seams.Messages.back(), "Файл резервной копии изменён или обрезан после создания: " + copy);
    EXPECT_FALSE(fbtest::IsShutdown(db));
    std::filesystem::remove_all(copies);
    std::filesystem::remove(dir.File("base.fdb.gbk"));
  }
}

// The backup is cut short after it was written: the test restore fails, the
// backup counts as failed and is set aside, the one before it is back.
TEST_F(ControllerHistory, ABrokenBackupFailsItsVerificationLocalAndTcp) {
  std::freopen("/dev/null", "r", stdin);  // the embedded gbak's volume prompt gets no answer
  for (std::int32_t protocol : {kLocal, kTcp}) {
    SCOPED_TRACE(protocol);
    q->Settings().Protocol = protocol;
    q->Settings().VerifyBackup = false;
    q->Jobs().JobRunner = nullptr;
    ASSERT_TRUE(Backup()) << seams.Dump();
    const std::string older = Bytes(backup.BackFile);
    q->Settings().VerifyBackup = true;
    q->Jobs().JobRunner = [](TJobRunner& job) {
      const bool ok = job.Run();
      const std::string gbk = TargetOf(job.Job()).Get();
      if (job.Job().Kind == TJobKind::Backup) std::filesystem::resize_file(gbk, std::filesystem::file_size(gbk) / 2);
      return ok;
    };
    seams.Messages.clear();
    EXPECT_FALSE(Backup()) << seams.Dump();
    EXPECT_EQ(seams.Messages.back(), "Errors were encountered during backup");
    EXPECT_EQ(Bytes(backup.BackFile), older);
    EXPECT_EQ(FilesWith(".failed").size(), 1u);
    EXPECT_TRUE(FilesWith(".verify-").empty());
    EXPECT_FALSE(fbtest::IsShutdown(db));
    const auto log = LogLines();
    EXPECT_EQ(
        log[log.size() - 3].rfind(q->Log().LogStamp() + " Проверка резервной копии восстановлением не пройдена. ", 0),
        0u)
        << log[log.size() - 3];
    EXPECT_EQ(log.back().rfind(q->Log().LogStamp() + " Причина: Verification by test restore failed: ", 0), 0u)
        << log.back();
    const auto records = ReadHistory(q->HistoryPath());
    EXPECT_EQ(records.back().Reason.rfind("Verification by test restore failed: the test restore failed", 0), 0u)
        << records.back().Reason;
    EXPECT_EQ(records[records.size() - 2].Kind + records[records.size() - 2].Outcome,
              std::string(HistoryKindVerify) + HistoryFailure);
    for (const auto& name : FilesWith(".failed")) std::filesystem::remove(dir.File(name));
  }
}

// A backup cut short after it was recorded: the restore stops before the
// database it would replace is shut down.
TEST_F(ControllerHistory, ARestoreFromABackupCutShortSinceItWasMadeIsRefusedTcp) {
  q->Settings().Protocol = kTcp;
  ASSERT_TRUE(Backup()) << seams.Dump();
  std::filesystem::resize_file(backup.BackFile, std::filesystem::file_size(backup.BackFile) - 1);
  seams.Lines.clear();
  EXPECT_FALSE(Restore(backup.BackFile, db));
  const std::string refusal = "Файл резервной копии изменён или обрезан после создания: " + backup.BackFile;
  EXPECT_EQ(seams.Messages.back(), refusal);
  const auto log = LogLines();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], q->Log().LogStamp() + " Восстановление отменено. " + refusal);
  EXPECT_EQ(log.back(), q->Log().LogStamp() + " Причина: " + refusal);
  EXPECT_FALSE(HasLine(seams.Lines, "Stopping database: base.fdb")) << seams.Dump();
  EXPECT_FALSE(fbtest::IsShutdown(db));
  EXPECT_EQ(fbtest::RowCount(db, "T_ORDERS"), fbtest::kOrders);
  EXPECT_EQ(ReadHistory(q->HistoryPath()).back().Reason, refusal);
}

}  // namespace
}  // namespace ctltest

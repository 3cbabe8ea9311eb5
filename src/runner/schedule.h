#pragma once
// TSchedule: one backup, restore or repair job against the database server's
// service manager. The caller fills the job in, calls RunJob once, reads the
// result and frees the object.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runner/fixed_text.h"
#include "runner/local_copy_info.h"

class TJobOutput;

class TSchedule {
 public:
  // Job kinds.
  static constexpr int32_t KindBackup = 1;
  static constexpr int32_t KindRestore = 2;
  static constexpr int32_t KindRepair = 3;
  // A physical (nbackup) backup of slot 1's database into slot 2's file, and
  // a physical restore of a chain of such files into slot 2's database.
  static constexpr int32_t KindNBackup = 4;
  static constexpr int32_t KindNRestore = 5;

  // Capacities of the text fields, in characters.
  static constexpr std::size_t ShortTextChars = 40;
  static constexpr std::size_t FileNameChars = 80;

  TSchedule();
  ~TSchedule();
  TSchedule(const TSchedule&) = delete;
  TSchedule& operator=(const TSchedule&) = delete;

  // 1 backup, 2 restore, 3 repair, 4 physical backup, 5 physical restore;
  // any other value runs no request.
  int32_t JobKind = KindBackup;
  // The level of a physical backup.
  int32_t NBackupLevel = 0;
  // The files of a physical restore, level 0 first (as this computer names
  // them, 80 characters at most each; on the server of the target). Slot 1
  // names the last of them for the job's header.
  std::vector<std::string> ChainFiles;

  // Texts longer than 40 characters are stored as their first 40 characters.
  std::string JobName() const { return FJobName.Get(); }
  void SetJobName(std::string_view value) { FJobName.Set(value); }
  std::string UserName() const { return FUserName.Get(); }
  void SetUserName(std::string_view value) { FUserName.Set(value); }
  std::string Password() const { return FPassword.Get(); }
  void SetPassword(std::string_view value) { FPassword.Set(value); }

  // 0 TCP, 1 SPX, 2 NamedPipe, 3 Local; passed on to the request unchanged.
  uint8_t Protocol() const { return FProtocol; }
  void SetProtocol(uint8_t value) { FProtocol = value; }

  // Switches 1..8; other indexes are ignored (set) or read as false (get).
  bool JobOption(int index) const;
  void SetJobOption(int index, bool value);

  // Slot 1 is the source, slot 2 the target; other indexes are ignored (set)
  // or read as empty (get). A name longer than 80 characters is not stored
  // shortened: the slot reads empty and RunJob refuses the job.
  std::string JobFile(int index) const;
  void SetJobFile(int index, std::string_view value);

  // Shut the job's database down before the request and bring it back on
  // line after it.
  bool StopDatabase = true;
  // Append an account of the job to "Schedule.log" beside the executable.
  bool WriteJobLog = true;
  // Also copy the server's output lines into the job log.
  bool VerboseJobLog = false;

  // Called once the database is shut down (or the shutdown was not asked
  // for or skipped), right before the request: the caller moves the file the
  // job recreates out of the way here, when no user can hold it open any
  // more. An error raised here ends the job as a failed request (the restart
  // still runs).
  std::function<void()> BeforeRequest;
  // Called after the request, with its outcome, before the database is
  // brought back on line, so a file the caller puts back in place is the one
  // brought on line. Runs whenever BeforeRequest was called.
  std::function<void(bool requestCompleted)> AfterRequest;

  // Where the job's account and notices go (not owned); none: nowhere.
  TJobOutput* Output = nullptr;

  // Every line of the server's output, as it arrives (before it reaches the
  // pane): what a caller counts or reads from the output.
  std::function<void(const std::string& line)> OnOutputLine;
  // Leaves the pane's earlier lines in place: a job that follows another
  // one as a further section of the same account.
  bool KeepPane = false;

  // A backup also kept on this computer: its file is streamed from the
  // server into a compressed copy in this folder ("<backup file name>.zst"
  // with "<…>.zst.sha256" beside it), after the request that writes it on
  // the server. Empty: no copy.
  std::string LocalCopyDir;
  // Only the copy on this computer: no backup file on the server.
  bool LocalCopyOnly = false;
  // Called once the copy stands complete under its final names.
  std::function<void(const TLocalCopyInfo& copy)> OnLocalCopyMade;
  // Called when the copy starts (the job's progress moves on to it).
  std::function<void()> OnLocalCopyStarting;

  // Runs the job; true when its request ran to its end without an error and
  // the server's output does not say otherwise. With LocalCopyOnly, when
  // the copy was made. A restore whose backup file is on this computer (a
  // compressed copy, or a file the database's server cannot open) sends it
  // through the request's standard input, after checking its checksum file
  // before anything else.
  bool RunJob();

 private:
  // One run of RunJob, step by step (schedule.cpp).
  class TRun;

  bool FJobOption[8] = {};
  uint8_t FProtocol = 3;
  TFixedText<ShortTextChars> FJobName;
  TFixedText<ShortTextChars> FUserName;
  TFixedText<ShortTextChars> FPassword;
  TFixedText<FileNameChars> FJobFile[2];
  // The full text of a file name that did not fit its slot, for the
  // refusal message; empty when the slot's name fitted.
  std::string FRefusedFile[2];
};

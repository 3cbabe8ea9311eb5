#pragma once
// The program's own messages to its users, in the language of the front end
// that shows them: the window speaks Russian, the command line English (as
// gbak does). One table holds every message in both languages; a front end
// names its language in what it gives the core (TFrontEnd::Language).
//
// What the program stores for other programs and tools (the operation log's
// lines, the history's reasons, the locks' descriptions) keeps one form; a
// front end turns what it reads into its own language when it shows it
// (ShownHolder, ShownReason).

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

enum class TLanguage { Russian, English };

enum class TMessage {
  AnotherProgram,
  NoDatabaseChosen,
  StampLong,
  StampShort,
  ProgressLeft,
  NoEstimateYet,
  PhaseStep,
  PhaseBackup,
  PhaseCopy,
  PhaseVerify,
  PhaseRestore,
  BackingUp,
  Restoring,
  NextPlanBackupLong,
  NextPlanBackupShort,
  AndMore,
  PlanRunBy,
  PlanMakesNoBackups,
  RecoveryFinished,
  RecoveryUnfinished,
  RecoveryPassword,
  RecoveryEndBackup,
  Count  // not a message: the size of the table
};

// The text of `id` in `language`; "%1" … "%9" in it stand for the arguments
// of Message.
std::string_view MessageText(TMessage id, TLanguage language);
// The text of `id` in `language` with `args` in place of "%1", "%2" ….
std::string Message(TMessage id, TLanguage language, std::initializer_list<std::string> args = {});

// A phrase of a text that the program stores in one language and shows in
// the other.
struct TPhrase {
  std::string_view Russian;
  std::string_view English;
};
// `text`, written in `from`, with every phrase of `phrases` found in it put
// into `to`; the rest (names, paths, the server's words) as it is. Where
// phrases overlap, the earlier one of the table wins.
std::string TranslatePhrases(std::string_view text, std::span<const TPhrase> phrases, TLanguage from, TLanguage to);

// What a lock says of the program that holds it ("quorvinctl, процесс 5747
// на vm, с 08.12.2026 в 10:30"), in `language`; empty or unread: another
// program.
std::string ShownHolder(const std::string& stored, TLanguage language);
// A job's reason as the history stores it (the program's reasons, most in
// English, the server's own texts) in `language`: the program's known
// reasons are said in the front end's language; the server's texts stay as
// they are.
std::string ShownReason(const std::string& stored, TLanguage language);

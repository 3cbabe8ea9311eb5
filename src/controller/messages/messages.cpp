#include "controller/messages/messages.h"

#include <array>
#include <cstddef>

namespace {

struct TMessageTexts {
  TMessage Id;
  const char* Russian;
  const char* English;
};

// clang-format off
constexpr std::array<TMessageTexts, static_cast<std::size_t>(TMessage::Count)> Table{{
  {TMessage::AnotherProgram,      "другая программа", "another program"},
  {TMessage::NoDatabaseChosen,    "база данных не выбрана", "no database chosen"},
  // Date-time patterns (platform/date_time.h).
  {TMessage::StampLong,           "dd.mm.yyyy в hh:nn", "yyyy-mm-dd hh:nn"},
  {TMessage::StampShort,          "dd.mm в hh:nn", "mm-dd hh:nn"},
  {TMessage::ProgressLeft,        "%1 %, осталось %2", "%1 %, %2 left"},
  {TMessage::NoEstimateYet,       "оценки пока нет", "no estimate yet"},
  {TMessage::PhaseStep,           "этап %1 из %2, %3: %4", "step %1 of %2, %3: %4"},
  {TMessage::PhaseBackup,         "копирование на сервере", "backup on the server"},
  {TMessage::PhaseCopy,           "копия на этом компьютере", "copy on this computer"},
  {TMessage::PhaseVerify,         "проверка восстановлением", "verification by test restore"},
  {TMessage::PhaseRestore,        "восстановление", "restore"},
  {TMessage::BackingUp,           "Идёт резервное копирование: ", "Backing up: "},
  {TMessage::Restoring,           "Идёт восстановление: ", "Restoring: "},
  {TMessage::NextPlanBackupLong,  "Следующая копия по расписанию: ", "Next plan backup: "},
  {TMessage::NextPlanBackupShort, "Следующая копия: ", "Next backup: "},
  {TMessage::AndMore,             " и ещё %1", " and %1 more"},
  {TMessage::PlanRunBy,           "Расписание выполняет: ", "The plan is run by "},
  {TMessage::PlanMakesNoBackups,  "Расписание запущено, копий по нему не предстоит",
                                  "The plan runs, but no backup of it lies ahead"},
  {TMessage::RecoveryFinished,    "Задание, прерванное при прошлом запуске программы, завершено:",
                                  "The job cut short at the program's last run was finished:"},
  {TMessage::RecoveryUnfinished,  "Задание, прерванное при прошлом запуске программы, завершено не полностью:",
                                  "The job cut short at the program's last run was not finished completely:"},
  {TMessage::RecoveryPassword,    "Пароль пользователя %1 для завершения задания, прерванного при прошлом запуске "
                                  "программы (%2):",
                                  "Password of user %1 to finish the job cut short at the program's last run (%2):"},
  {TMessage::RecoveryEndBackup,   "Прерванное инкрементное копирование оставило базу данных %1 в режиме резервного "
                                  "копирования.\nЗавершить этот режим (ALTER DATABASE END BACKUP)?",
                                  "The incremental backup cut short left the database %1 in backup mode.\nEnd that "
                                  "mode (ALTER DATABASE END BACKUP)?"},
}};

// The program's own reasons as the history keeps them (most in English, a
// few in Russian), in both languages; the server's texts stay as they are.
constexpr TPhrase ReasonWords[] = {
  {"Проверка восстановлением не пройдена: ", "Verification by test restore failed: "},
  {"пробное восстановление не удалось", "the test restore failed"},
  {"сервер не подтвердил целость восстановленной базы", "the server's validation of the restored database failed"},
  {"проверка целости сервером сообщила: ", "the server's validation reported: "},
  {"восстановленная база данных не назвала число строк: ", "the restored database gave no row counts: "},
  {"нет имени для временной базы данных рядом с ", "no name for the temporary database beside "},
  {"файл копии не найден на этом компьютере", "the backup file is not found on this computer"},
  {"копия на этом компьютере не найдена", "the copy on this computer is not found"},
  // Why a restore was refused before it started.
  {"Копия на этом компьютере повреждена: её содержимое не совпадает с контрольной суммой, записанной при её "
   "создании.",
   "The copy on this computer is damaged: its content does not match the checksum written when it was made."},
  {"Копию на этом компьютере нельзя проверить: её файл контрольной суммы отсутствует или не читается.",
   "The copy on this computer cannot be checked: its checksum file is missing or unreadable."},
  {"Файл резервной копии обрезан: он кончается раньше, чем записанная в нём копия.",
   "The backup file is cut short: it ends before the backup written in it does."},
  {"Файл резервной копии изменён или обрезан после создания: ",
   "The backup file was changed or cut short after it was made: "},
  {"Из неё ничего не восстановлено.", "Nothing was restored from it."},
  {"Из него ничего не восстановлено.", "Nothing was restored from it."},
};

// How a lock names its holder's parts.
constexpr std::string_view HolderProcess = ", процесс ";
constexpr std::string_view HolderOn = " на ";
constexpr std::string_view HolderSince = ", с ";
// clang-format on

constexpr bool TableInOrder() {
  for (std::size_t i = 0; i < Table.size(); ++i)
    if (static_cast<std::size_t>(Table[i].Id) != i) return false;
  return true;
}
static_assert(TableInOrder(), "one line per message, in the order of TMessage");

}  // namespace

std::string_view MessageText(TMessage id, TLanguage language) {
  const TMessageTexts& texts = Table.at(static_cast<std::size_t>(id));
  return language == TLanguage::English ? texts.English : texts.Russian;
}

std::string Message(TMessage id, TLanguage language, std::initializer_list<std::string> args) {
  const std::string_view text = MessageText(id, language);
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    const std::size_t number = next >= '1' && next <= '9' ? static_cast<std::size_t>(next - '1') : args.size();
    if (text[i] == '%' && number < args.size()) {
      result += *(args.begin() + number);
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

std::string ShownHolder(const std::string& stored, TLanguage language) {
  if (stored.empty() || stored == MessageText(TMessage::AnotherProgram, TLanguage::Russian))
    return Message(TMessage::AnotherProgram, language);
  if (language == TLanguage::Russian) return stored;
  // "NAME, процесс PID на HOST, с STAMP" → "NAME (pid PID on HOST, since STAMP)".
  const std::size_t process = stored.find(HolderProcess);
  const std::size_t on = stored.find(HolderOn, process == std::string::npos ? 0 : process);
  const std::size_t since = stored.find(HolderSince, on == std::string::npos ? 0 : on);
  if (process == std::string::npos || on == std::string::npos || since == std::string::npos) return stored;
  const std::size_t pid = process + HolderProcess.size();
  const std::size_t host = on + HolderOn.size();
  std::string stamp = stored.substr(since + HolderSince.size());
  // The stamp's "dd.mm.yyyy в hh:nn" without its Russian word.
  if (const std::size_t word = stamp.find(" в "); word != std::string::npos) stamp.replace(word, 4, " ");
  return stored.substr(0, process) + " (pid " + stored.substr(pid, on - pid) + " on " +
         stored.substr(host, since - host) + ", since " + stamp + ")";
}

std::string ShownReason(const std::string& stored, TLanguage language) {
  const TLanguage other = language == TLanguage::English ? TLanguage::Russian : TLanguage::English;
  return TranslatePhrases(stored, ReasonWords, other, language);
}

std::string TranslatePhrases(std::string_view text, std::span<const TPhrase> phrases, TLanguage from, TLanguage to) {
  if (from == to) return std::string(text);
  const auto said = [](const TPhrase& phrase, TLanguage language) {
    return language == TLanguage::English ? phrase.English : phrase.Russian;
  };
  std::string result;
  for (std::size_t at = 0; at < text.size();) {
    const TPhrase* found = nullptr;
    for (const TPhrase& phrase : phrases)
      if (!said(phrase, from).empty() && text.substr(at).starts_with(said(phrase, from))) {
        found = &phrase;
        break;
      }
    if (found == nullptr) {
      result += text[at++];
      continue;
    }
    result += said(*found, to);
    at += said(*found, from).size();
  }
  return result;
}

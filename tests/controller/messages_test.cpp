// The catalogue of the program's messages: every message in both languages,
// the same arguments in each, no Russian in the English ones; and the texts
// stored in one language as the other front end shows them.

#include "controller/messages/messages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/has_cyrillic.h"

namespace {

std::set<char> Arguments(std::string_view text) {
  std::set<char> found;
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') found.insert(text[i + 1]);
  return found;
}

TEST(Messages, EveryMessageIsSaidInBothLanguagesWithTheSameArguments) {
  for (int i = 0; i < static_cast<int>(TMessage::Count); ++i) {
    const auto id = static_cast<TMessage>(i);
    const std::string_view russian = MessageText(id, TLanguage::Russian);
    const std::string_view english = MessageText(id, TLanguage::English);
    EXPECT_TRUE(HasCyrillic(russian)) << i << ": " << russian;
    EXPECT_FALSE(english.empty()) << i;
    EXPECT_FALSE(HasCyrillic(english)) << i << ": " << english;
    EXPECT_EQ(Arguments(russian), Arguments(english)) << i << ": " << english;
  }
  EXPECT_EQ(Message(TMessage::ProgressLeft, TLanguage::English, {"45", "1:20"}), "45 %, 1:20 left");
  EXPECT_EQ(Message(TMessage::ProgressLeft, TLanguage::Russian, {"45", "1:20"}), "45 %, осталось 1:20");
  EXPECT_EQ(Message(TMessage::PhaseStep, TLanguage::English, {"3", "3", "restore", "no estimate yet"}),
            "step 3 of 3, restore: no estimate yet");
  // An argument is put in as it is, "%" and all.
  EXPECT_EQ(Message(TMessage::AndMore, TLanguage::English, {"%2"}), " and %2 more");
}

TEST(Messages, StoredTextsAreShownInTheFrontEndsLanguage) {
  struct TCase {
    std::string Stored;
    std::string English;
    std::string Russian;
  };
  const TCase holders[] = {
      {"quorvinctl, процесс 5747 на vm, с 08.12.2026 в 10:30", "quorvinctl (pid 5747 on vm, since 08.12.2026 10:30)",
       "quorvinctl, процесс 5747 на vm, с 08.12.2026 в 10:30"},
      {"", "another program", "другая программа"},
      {"другая программа", "another program", "другая программа"},
      {"a program of another kind", "a program of another kind", "a program of another kind"},
  };
  for (const TCase& holder : holders) {
    EXPECT_EQ(ShownHolder(holder.Stored, TLanguage::English), holder.English);
    EXPECT_EQ(ShownHolder(holder.Stored, TLanguage::Russian), holder.Russian);
  }
  const TCase reasons[] = {
      {"Verification by test restore failed: the test restore failed: I/O error during \"open\"",
       "Verification by test restore failed: the test restore failed: I/O error during \"open\"",
       "Проверка восстановлением не пройдена: пробное восстановление не удалось: I/O error during \"open\""},
      {"Verification by test restore failed: the server's validation reported: Index 1 is corrupt",
       "Verification by test restore failed: the server's validation reported: Index 1 is corrupt",
       "Проверка восстановлением не пройдена: проверка целости сервером сообщила: Index 1 is corrupt"},
      {"Unable to complete network request to host \"db\"", "Unable to complete network request to host \"db\"",
       "Unable to complete network request to host \"db\""},
      // A refusal kept in Russian, as the window's box says it.
      {"Файл резервной копии обрезан: он кончается раньше, чем записанная в нём копия.\n/db/a.gbk\nИз него ничего не "
       "восстановлено.",
       "The backup file is cut short: it ends before the backup written in it does.\n/db/a.gbk\nNothing was restored "
       "from it.",
       "Файл резервной копии обрезан: он кончается раньше, чем записанная в нём копия.\n/db/a.gbk\nИз него ничего не "
       "восстановлено."},
  };
  for (const TCase& reason : reasons) {
    EXPECT_EQ(ShownReason(reason.Stored, TLanguage::English), reason.English);
    EXPECT_EQ(ShownReason(reason.Stored, TLanguage::Russian), reason.Russian);
  }
  // Where phrases overlap, the table's earlier one wins.
  const TPhrase phrases[] = {{"инкрементное копирование ", "incremental backup of "}, {"копирование ", "backup of "}};
  EXPECT_EQ(TranslatePhrases("инкрементное копирование a.fdb; копирование b.fdb", phrases, TLanguage::Russian,
                             TLanguage::English),
            "incremental backup of a.fdb; backup of b.fdb");
}

}  // namespace

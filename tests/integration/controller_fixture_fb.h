#pragma once
// A controller whose program folder is a temporary folder, with a test
// database in it, a recording pane and prompts that answer yes and OK.
// Backup() and Restore() run the controller's jobs as the window starts them.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controller/quorvin.h"
#include "integration/fb_fixture.h"
#include "runner/job_output.h"
#include "runner/ui_seams.h"

namespace ctltest {

class TSeams : public TPrompts, public TLogPaneView {
 public:
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  bool AskYesNo(const std::string& text) override {
    Messages.push_back(text);
    return Answer;
  }
  bool ConfirmOkCancel(const std::string& text) override {
    Messages.push_back(text);
    return true;
  }
  void Beep() override { ++Beeps; }
  void ShowNotice(const std::string& text) override { Notices.push_back(text); }
  // Asked as the window asks when no password is remembered.
  std::optional<std::string> AskPassword(const std::string& text) override {
    PasswordQuestions.push_back(text);
    return Password;
  }
  void Clear() override { Lines.clear(); }
  void AppendLine(const std::string& line) override {
    Lines.push_back(line);
    if (OnLine) OnLine();
  }

  std::string Dump() const {
    std::string all;
    for (const auto& m : Messages) all += "box: " + m + "\n";
    for (const auto& n : Notices) all += "notice: " + n + "\n";
    for (const auto& l : Lines) all += l + "\n";
    return all;
  }

  std::vector<std::string> Messages;
  std::vector<std::string> Notices;
  std::vector<std::string> Lines;
  std::vector<std::string> PasswordQuestions;
  std::optional<std::string> Password = fbtest::SysdbaPassword();
  int Beeps = 0;
  // The answer to every Yes/No question.
  bool Answer = true;
  // Called after each pane line has reached the pane: a moment inside a job,
  // on the test's thread.
  std::function<void()> OnLine;
};

inline constexpr std::int32_t kTcp = 0;
inline constexpr std::int32_t kLocal = 3;

class ControllerFirebird : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.File("base.fdb");
    fbtest::CreateDatabase(db, scale);
    q = NewController();
    q->Settings().DataBase = db;
    q->Settings().User = "SYSDBA";
    q->Settings().Pass = fbtest::SysdbaPassword();
    q->Settings().AutoBackName = false;
    q->Settings().BackShutDown = false;
  }
  void TearDown() override { q.reset(); }

  // A controller of the test's program folder that shows itself to `seams`.
  std::unique_ptr<TQuorvin> NewController() {
    return std::make_unique<TQuorvin>(TFrontEnd{&seams, &seams}, dir.Path() + "/");
  }

  // The backup of the database the settings name; its outcome stays in
  // `backup`. True when it succeeded.
  bool Backup() {
    backup = q->Backup(q->Settings().DataBase).value_or(TBackupOutcome{});
    return backup.Succeeded;
  }
  // True when the restored database exists.
  bool Restore(const std::string& source, const std::string& target) {
    return q->Restore(source, target).value_or(false);
  }

  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(fbtest::RunCommand("cat " + fbtest::ShellQuote(q->Log().LogFileName())));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  std::string LastLogLine() const {
    const auto lines = LogLines();
    return lines.empty() ? std::string() : lines.back();
  }
  // The outcome line of a failed job: the one before its " Причина: " line,
  // which is checked to be there.
  std::string FailureLogLine() const {
    const auto lines = LogLines();
    if (lines.size() < 2) return {};
    EXPECT_EQ(lines.back().find(" Причина: "), q->Log().LogStamp().size()) << lines.back();
    return lines[lines.size() - 2];
  }

  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  void ExpectSameRows(const std::string& a, const std::string& b) {
    for (const char* table : {"T_CUSTOMERS", "T_ORDERS", "T_NOTES"})
      EXPECT_EQ(fbtest::RowCount(a, table), fbtest::RowCount(b, table)) << table;
  }

  // Names in the folder that contain `part`.
  std::vector<std::string> FilesWith(const std::string& part) const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      const std::string name = entry.path().filename().string();
      if (name.find(part) != std::string::npos) found.push_back(name);
    }
    return found;
  }

  int scale = 1;
  fbtest::TempFolder dir{"quorvin-ctl"};
  std::string db;
  TSeams seams;
  // For jobs the test fills in itself.
  TJobOutput output{&seams, &seams};
  std::unique_ptr<TQuorvin> q;
  TBackupOutcome backup;
};

}  // namespace ctltest

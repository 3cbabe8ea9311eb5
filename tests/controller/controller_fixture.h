#pragma once
// A controller in a temporary program folder, with a clock the test sets and prompts
// that record what they show.

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <sstream>

#include "controller/quorvin.h"
#include "platform/fake_clock.h"
#include "platform/temp_folder.h"
#include "runner/recording_seams.h"

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { std::setlocale(LC_ALL, "C"); }
  void TearDown() override { Controller.reset(); }

  TQuorvin& Start() {
    Controller = std::make_unique<TQuorvin>(TFrontEnd{nullptr, &Prompts}, Dir.Path);
    return *Controller;
  }
  // Destroys the controller as the main window's close does.
  void Close() { Controller.reset(); }

  std::string IniPath() const { return Dir / "Quorvin.INI"; }
  std::string Ini() const { return ReadFileBytes(IniPath()); }
  void SetIni(const std::string& text) const { WriteFileBytes(IniPath(), text); }

  // The lines of a file, line ends (LF or CR LF) taken off.
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  // Declared first: it outlives every controller of the test.
  TFakeClock Clock{EncodeDate(2026, 12, 6) + EncodeTime(12, 15, 20, 0)};
  TTempFolder Dir;
  TRecordingPrompts Prompts;
  std::unique_ptr<TQuorvin> Controller;
};

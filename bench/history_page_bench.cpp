// Opening the main window's history page with a history of 10 000 records:
// from the click on its tab to the page drawn in full (table and chart),
// each time in a fresh window, so the file is read every time.
//
//   history_page_bench [--records N] [--runs R]   (defaults: 10000, 7)

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/history_model.h"
#include "app/history_page.h"
#include "app/main_form.h"
#include "controller/history/job_history.h"
#include "platform/date_time.h"
#include "platform/files.h"
#include "platform/iso_time.h"

namespace {

// `count` records of five databases, a backup every few hours, some failed,
// now and then a verification or a restore.
std::string HistoryText(int count) {
  std::string text;
  TDateTime at = EncodeDate(2024, 1, 1) + EncodeTime(8, 0, 0, 0);
  for (int i = 0; i < count; ++i) {
    THistoryRecord r;
    const std::string db = "/srv/firebird/data/base" + std::to_string(i % 5) + ".fdb";
    const int seconds = 60 + (i % 5) * 40 + i / 100;
    r.Start = FormatIso8601(at);
    r.End = FormatIso8601(at + seconds / 86400.0);
    r.Kind = i % 17 == 0 ? HistoryKindVerify : (i % 29 == 0 ? HistoryKindRestore : HistoryKindBackup);
    r.By = i % 3 == 0 ? HistoryByUser : HistoryByPlan;
    r.Database = db;
    r.File = db + FormatDateTime("_dd_mm_yy_hh_nn", at) + ".gbk";
    r.Size = 200ull * 1024 * 1024 + static_cast<std::uint64_t>(i) * 4096;
    r.Sha256 = std::string(64, 'c');
    r.Outcome = i % 23 == 0 ? HistoryFailure : HistorySuccess;
    r.Reason = r.Outcome == HistoryFailure ? "I/O error during \"write\" operation for file" : "";
    r.Lines = 400 + static_cast<std::uint64_t>(i % 50);
    text += HistoryLine(r) + "\n";
    at += 1.0 / 8;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int records = 10000;
  int runs = 7;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--records") records = std::atoi(argv[i + 1]);
    if (key == "--runs") runs = std::atoi(argv[i + 1]);
  }
  QApplication app(argc, argv);
  // The program folder, with an empty settings file and the history.
  QTemporaryDir folder;
  const std::string dir = (folder.path() + "/").toStdString();
  if (!CreateTextFile(dir + "Quorvin.INI", "") ||
      !CreateTextFile(dir + HistoryFileName("Quorvin"), HistoryText(records)))
    return 1;
  std::vector<double> times;
  std::vector<double> reads;
  int rows = 0;
  for (int run = 0; run < runs; ++run) {
    TMainForm form(dir);
    form.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    form.PageControl->setCurrentIndex(TMainForm::HistoryTab);  // reads the file
    reads.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    QApplication::processEvents();
    form.grab();  // the whole window drawn, table and chart included
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    rows = form.TabSheet8->Model->rowCount();
  }
  std::sort(times.begin(), times.end());
  std::sort(reads.begin(), reads.end());
  std::printf(
      "history page bench: %d records (%d rows shown), %d openings: median %.1f ms (reading and filling "
      "%.1f ms), worst %.1f ms (target < 200 ms)\n",
      records, rows, runs, times[times.size() / 2], reads[reads.size() / 2], times.back());
  return rows == records ? 0 : 1;
}

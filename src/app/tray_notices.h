#pragma once
// The program's side of the notices seam: the report of a plan backup nobody
// attended reaches the user through the notification area, never a box.

#include <functional>

#include "runner/job_notices.h"

class TCoolTrayIcon;

// Tray-icon pictures of the main window's ImageListIcons.
enum TTrayPicture { PlanStoppedPicture = 0, PlanRunningPicture = 1, AttentionPicture = 2 };

class TTrayNotices : public TNotices {
 public:
  // `refreshState` brings the status bar and the tool tip up to date.
  TTrayNotices(TCoolTrayIcon& tray, std::function<void()> refreshState)
      : FTray(tray), FRefreshState(std::move(refreshState)) {}

  // A failure (or a backup made with a warning) raises a notification. The
  // icon's picture is the window's to choose (refreshState): it keeps the
  // attention picture while any failure is unseen, whatever succeeds later.
  void UnattendedJobEnded(const TJobReport& report) override;

 private:
  TCoolTrayIcon& FTray;
  std::function<void()> FRefreshState;
};

#include "app/tray_notices.h"

#include <QString>

#include "app/cool_tray_icon.h"
#include "controller/messages/messages.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void TTrayNotices::UnattendedJobEnded(const TJobReport& report) {
  const bool attention = !report.Succeeded || !report.Warnings.empty();
  if (attention) {
    const bool offsite = report.What == TJobReport::TWhat::OffsiteCopy;
    const QString title = offsite            ? "Копия в хранилище объектов НЕ создана"
                          : report.Succeeded ? "Резервная копия создана с предупреждением"
                                             : "Резервная копия НЕ создана";
    const QString detail = report.Succeeded ? "Внимание: " + Q(report.Warnings.front())
                                            : "Причина: " + Q(ShownReason(report.Reason, TLanguage::Russian));
    FTray.ShowNotification(title, Q(report.Database) + "\n" + detail, QSystemTrayIcon::Warning);
  }
  if (FRefreshState) FRefreshState();
}

// The chooser of off-site copies over a bucket of the real RADOS gateway:
// only the copies under the place are listed (no checksum file, no other
// object, nothing outside the prefix), the newest first, and OK gives the
// chosen copy's URL.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "controller/jobs/offsite/offsite_place.h"
#include "controller/jobs/offsite/offsite_restore_job.h"
#include "dialogs/offsite_chooser.h"
#include "platform/temp_folder.h"
#include "storage/s3_gateway.h"

namespace {

class OffsiteChooserTest : public s3test::TS3GatewayTest {
 protected:
  static void SetUpTestSuite() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "offsite_chooser_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }

  // Entry 1's place: the prefix "copies" of the test's bucket.
  TOffsiteSettings Place() {
    const std::string keys = folder / "s3-keys";
    std::ofstream(keys) << "[default]\naws_access_key_id = " << Setting("AWS_ACCESS_KEY_ID")
                        << "\naws_secret_access_key = " << Setting("AWS_SECRET_ACCESS_KEY") << "\n";
    chmod(keys.c_str(), 0600);
    return {"s3://" + Bucket + "/copies", Setting("AWS_ENDPOINT_URL"), Setting("AWS_REGION"), false, keys, ""};
  }

  TTempFolder folder;
};

QStringList Column(QTreeWidget* list, int column) {
  QStringList texts;
  for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(column);
  return texts;
}

TEST_F(OffsiteChooserTest, ListsTheCopiesNewestFirstAndGivesTheChosenUrl) {
  // Stamps of whole seconds: the newer copy is written a second later, and
  // sorts first though its name sorts last.
  Client().PutObject("copies/b_older.gbk.zst", std::string(1500, 'b'), {});
  Client().PutObject("copies/b_older.gbk.zst.sha256", "sum", {});
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  Client().PutObject("copies/a_newer.gbk.zst", std::string(700, 'a'), {});
  Client().PutObject("copies/a_newer.gbk.zst.sha256", "sum", {});
  Client().PutObject("copies/readme.txt", "not a copy", {});
  Client().PutObject("elsewhere/c.gbk.zst", "outside the place", {});

  TOffsiteChooser chooser(nullptr, RestorableCopiesOf(*OffsiteTargetOf(Place())));
  auto* list = chooser.findChild<QTreeWidget*>("lvCopies");
  auto* ok = chooser.findChild<QPushButton*>("bbOk");
  ASSERT_NE(list, nullptr);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(Column(list, 0), QStringList({"a_newer.gbk.zst", "b_older.gbk.zst"}));
  EXPECT_TRUE(Column(list, 1).at(1).startsWith("1") && Column(list, 1).at(1).contains("500"))
      << Column(list, 1).at(1).toStdString();
  EXPECT_FALSE(Column(list, 2).at(0).isEmpty());
  // Nothing chosen: nothing to give.
  EXPECT_FALSE(ok->isEnabled());
  EXPECT_EQ(chooser.ChosenUrl(), "");

  list->setCurrentItem(list->topLevelItem(1));
  ASSERT_TRUE(ok->isEnabled());
  ok->click();
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  EXPECT_EQ(chooser.ChosenUrl(), "s3://" + Bucket + "/copies/b_older.gbk.zst");
}

TEST_F(OffsiteChooserTest, AnEmptyPlaceListsNothing) {
  Client().PutObject("copies/only.gbk.zst.sha256", "sum", {});
  TOffsiteChooser chooser(nullptr, RestorableCopiesOf(*OffsiteTargetOf(Place())));
  EXPECT_EQ(chooser.findChild<QTreeWidget*>("lvCopies")->topLevelItemCount(), 0);
  EXPECT_FALSE(chooser.findChild<QPushButton*>("bbOk")->isEnabled());
}

}  // namespace

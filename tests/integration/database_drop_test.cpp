// Dropping a database through its server, as a test restore's temporary
// database is removed when this computer cannot delete the file.

#include "service/database_drop.h"

#include <gtest/gtest.h>

#include "integration/fb_fixture.h"
#include "platform/files.h"
#include "service/ib_errors.h"

namespace {

TEST(DatabaseDrop, TheServerRemovesTheFileAndRefusesWhatIsNotThereLocalAndTcp) {
  EXPECT_EQ(DatabaseConnectString(TProtocol::TCP, "db1", "/d/a.fdb"), "db1:/d/a.fdb");
  fbtest::TempFolder dir;
  for (TProtocol protocol : {TProtocol::Local, TProtocol::TCP}) {
    const std::string db = dir.File(protocol == TProtocol::Local ? "local.fdb" : "tcp.fdb");
    fbtest::CreateDatabase(db);
    const std::string password = protocol == TProtocol::TCP ? fbtest::SysdbaPassword() : std::string();
    DropServerDatabase(fbtest::kServerHost, db, protocol, "SYSDBA", password);
    EXPECT_FALSE(FileExists(db));
    EXPECT_THROW(DropServerDatabase(fbtest::kServerHost, db, protocol, "SYSDBA", password), EIBInterBaseError);
  }
}

}  // namespace

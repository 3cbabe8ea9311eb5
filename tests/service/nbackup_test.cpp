// Physical backup requests byte for byte as the stand-in library receives
// them, their constants against Firebird's own header, the server's version
// text, and the headers of physical backup files (their GUIDs as the server
// shows them, the files of a chain telling their level and base).

#include <ibase.h>

#include <filesystem>
#include <fstream>

#include "platform/temp_folder.h"
#include "service/nbackup_file.h"
#include "service/nbackup_services.h"
#include "service_test_support.h"

namespace {

class NBackupBlocks : public FakeClientTest {
 protected:
  template <typename T>
  std::string Started(T& service) {
    Prepare(service);
    service.SetActive(true);
    service.ServiceStart();
    service.SetActive(false);
    const auto blocks = fake.StartBlocks();
    return blocks.empty() ? std::string() : blocks.back();
  }
};

TEST_F(NBackupBlocks, BackupAndRestoreOfAChain) {
  const std::pair<int, int> published[] = {{spb::action_svc_nbak, isc_action_svc_nbak},
                                           {spb::action_svc_nrest, isc_action_svc_nrest},
                                           {spb::nbk_level, isc_spb_nbk_level},
                                           {spb::nbk_file, isc_spb_nbk_file},
                                           {spb::nbk_no_triggers, isc_spb_nbk_no_triggers},
                                           {spb::action_svc_db_stats, isc_action_svc_db_stats},
                                           {spb::sts_hdr_pages, isc_spb_sts_hdr_pages},
                                           {spb::sts_data_pages, isc_spb_sts_data_pages},
                                           {spb::sts_record_versions, isc_spb_sts_record_versions},
                                           {spb::info_svc_server_version, isc_info_svc_server_version}};
  for (const auto& [ours, theirs] : published) EXPECT_EQ(ours, theirs);

  TIBNBackupService backup;
  backup.DatabaseName = "/srv/big.fdb";
  backup.BackupFile = "/srv/big_L2.nbk";
  backup.Level = 2;
  backup.NoTriggers = true;
  EXPECT_EQ(Started(backup), Bytes({20}) + TextItem(106, "/srv/big.fdb") + TextItem(6, "/srv/big_L2.nbk") +
                                 NumberItem(5, 2) + NumberItem(108, 1));
  TIBNRestoreService restore;
  restore.DatabaseName = "/srv/new.fdb";
  restore.BackupFiles = {"/srv/L0.nbk", "/srv/L1.nbk"};
  EXPECT_EQ(Started(restore),
            Bytes({21}) + TextItem(106, "/srv/new.fdb") + TextItem(6, "/srv/L0.nbk") + TextItem(6, "/srv/L1.nbk"));
  // Nothing to name: refused before anything is sent.
  TIBNRestoreService empty;
  empty.DatabaseName = "/srv/new.fdb";
  Prepare(empty);
  empty.SetActive(true);
  EXPECT_THROW(empty.ServiceStart(), EIBClientError);
}

TEST(ServerVersion, MajorAndMinorOfTheServersText) {
  const std::pair<const char*, std::pair<int, int>> cases[] = {{"LI-V3.0.11.33637 Firebird 3.0", {3, 0}},
                                                               {"WI-V2.5.9.27139 Firebird 2.5", {2, 5}},
                                                               {"LI-T5.0.0.1 Firebird 5.0 Beta", {5, 0}},
                                                               {"WI-V2.1.7 Firebird 2.1", {2, 1}},
                                                               {"garbage", {0, 0}},
                                                               {"LI-V", {0, 0}}};
  for (const auto& [text, wanted] : cases) {
    const TServerVersion version = ParseServerVersion(text);
    EXPECT_EQ(std::make_pair(version.Major, version.Minor), wanted) << text;
  }
  EXPECT_TRUE(ParseServerVersion("LI-V3.0.11").AtLeast(2, 5));
  EXPECT_FALSE(ParseServerVersion("WI-V2.1.7").AtLeast(2, 5));
}

// Bytes as Firebird 3.0 wrote them for a level 1 (its GUID, then its
// base's) and a level 0 (a header page holding its GUID).
TEST(NBackupFile, HeadersNameTheirLevelAndTheirBase) {
  const std::string guid0 =
      Bytes({0x99, 0xc6, 0x96, 0xbc, 0x45, 0x2f, 0x9b, 0x4e, 0xa8, 0x78, 0x4e, 0xd3, 0x7c, 0x9e, 0xcf, 0x57});
  const std::string guid1 =
      Bytes({0x5d, 0x56, 0x31, 0x1a, 0xed, 0x1e, 0x5a, 0x41, 0xa4, 0xfe, 0x82, 0x00, 0xff, 0x92, 0x8b, 0xff});
  std::string level1 = "NBAK" + Bytes({2, 0, 1, 0}) + guid1 + guid0 + Bytes({0, 0x20, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0});
  level1.resize(8192, '\0');
  std::string level0 =
      Bytes({1, 0, 0, 0}) + std::string(12, '\0') + Bytes({0, 0x20}) + std::string(200, '\0') + Bytes({7, 16}) + guid0;
  level0.resize(8192, '\0');
  TTempFolder dir;
  const std::pair<std::string, const std::string*> files[] = {{dir / "a_L0.nbk", &level0}, {dir / "a_L1.nbk", &level1}};
  for (const auto& [path, bytes] : files) std::ofstream(path, std::ios::binary) << *bytes;

  const auto header = ReadNBackupHeader(dir / "a_L1.nbk");
  ASSERT_TRUE(header);
  EXPECT_EQ(header->Level, 1);
  EXPECT_EQ(GuidText(header->BaseGuid), "{C699BC96-2F45-4E9B-78A8-D34E9E7C57CF}");
  EXPECT_EQ(GuidText(header->Guid), "{565D1A31-1EED-415A-FEA4-008292FFFF8B}");
  EXPECT_TRUE(FileIsBackup(dir / "a_L1.nbk", "{565D1A31-1EED-415A-FEA4-008292FFFF8B}"));
  EXPECT_EQ(ReadNBackupHeader(dir / "a_L0.nbk")->Level, 0);
  EXPECT_TRUE(LevelZeroHoldsGuid(dir / "a_L0.nbk", header->BaseGuid));
  EXPECT_TRUE(FileIsBackup(dir / "a_L0.nbk", "{C699BC96-2F45-4E9B-78A8-D34E9E7C57CF}"));
  EXPECT_FALSE(LevelZeroHoldsGuid(dir / "a_L0.nbk", header->Guid));
  EXPECT_EQ(ParseGuidText(GuidText(header->Guid)), header->Guid);
  // Not a header: too short, another signature, level 0 in an increment's header.
  for (const std::string& bytes :
       {std::string("NBAK"), "XBAK" + level1.substr(4, 60), "NBAK" + Bytes({2, 0, 0, 0}) + level1.substr(8, 60)})
    EXPECT_FALSE(ParseNBackupHeader(bytes)) << bytes.size();
  EXPECT_FALSE(ReadNBackupHeader(dir / "missing.nbk"));
  EXPECT_FALSE(ParseGuidText("{C699BC96-2F45}"));
}

}  // namespace

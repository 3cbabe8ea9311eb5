#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/mount_table.h"
#include "platform/share_path.h"
#include "runner/database_control.h"
#include "runner/job_paths.h"

namespace {

// A mount table as /proc/self/mountinfo shows it: local disks, two CIFS
// shares of dbhost (one of them a drive's administrative share, one mounted
// with a sub-folder), a share of another server, a blank in a mount point, a
// local file system mounted inside a share, and junk lines.
const char* SampleMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "40 22 0:40 / /mnt/dbhost-d rw,relatime shared:20 - cifs //dbhost/D$ rw,vers=3.1.1,addr=10.0.0.5\n"
    "41 22 0:41 / /mnt/data rw,relatime shared:21 - cifs //DBHOST/data rw,vers=3.0\n"
    "42 22 0:42 / /srv/other\\040host rw,relatime - smb3 //other/C rw\n"
    "43 22 0:43 / /mnt/sub rw,relatime - cifs //dbhost/E$/archive/2024 rw\n"
    "44 40 8:2 / /mnt/dbhost-d/local rw,relatime - ext4 /dev/sdb1 rw\n"
    "45 22 0:45 / /mnt/nfs rw,relatime - nfs4 dbhost:/export rw\n"
    "this line is not a mount\n"
    "\n"
    "46 22 0:46 / /mnt/noseparator rw cifs //x/y rw\n";

std::vector<TMountEntry> Sample() { return ParseMountInfo(SampleMountInfo); }

}  // namespace

TEST(MountTable, ParsesFieldsAndSkipsMalformedLines) {
  const auto mounts = Sample();
  ASSERT_EQ(mounts.size(), 8u);
  EXPECT_EQ(mounts[0].MountPoint, "/");
  EXPECT_EQ(mounts[0].FsType, "ext4");
  EXPECT_EQ(mounts[2].MountPoint, "/mnt/dbhost-d");
  EXPECT_EQ(mounts[2].FsType, "cifs");
  EXPECT_EQ(mounts[2].Source, "//dbhost/D$");
  EXPECT_EQ(mounts[4].MountPoint, "/srv/other host");
  EXPECT_EQ(mounts[4].FsType, "smb3");
  EXPECT_TRUE(IsNetworkShareType("cifs"));
  EXPECT_TRUE(IsNetworkShareType("smb3"));
  EXPECT_FALSE(IsNetworkShareType("nfs4"));
  // The real table of this process parses and has a root.
  const auto real = ReadMountTable();
  EXPECT_FALSE(real.empty());
}

TEST(MountTable, NetworkNamesOfPaths) {
  const auto mounts = Sample();
  const struct {
    const char* path;
    const char* network;  // nullptr: not on a share
  } cases[] = {
      {"/mnt/dbhost-d/data/base.gdb", "\\\\dbhost\\D$\\data\\base.gdb"},
      {"/mnt/data/base.gdb", "\\\\DBHOST\\data\\base.gdb"},
      {"/srv/other host/db/x.fdb", "\\\\other\\C\\db\\x.fdb"},
      {"/mnt/sub/base.gbk", "\\\\dbhost\\E$\\archive\\2024\\base.gbk"},
      {"/mnt/dbhost-d/local/base.gdb", nullptr},  // a local disk mounted inside the share
      {"/mnt/dbhost-dx/base.gdb", nullptr},       // only a common prefix
      {"/mnt/nfs/base.gdb", nullptr},
      {"/home/u/base.gdb", nullptr},
  };
  for (const auto& c : cases) {
    auto name = NetworkNameOf(c.path, mounts);
    if (c.network) {
      ASSERT_TRUE(name) << c.path;
      EXPECT_EQ(*name, c.network) << c.path;
    } else {
      EXPECT_FALSE(name) << c.path << " -> " << name.value_or("");
    }
  }
}

TEST(MountTable, SharePathsOfMountedShares) {
  const auto mounts = Sample();
  EXPECT_EQ(LocalPathOnShare("DBHOST", "d$", "\\data\\base.gdb", mounts), "/mnt/dbhost-d/data/base.gdb");
  EXPECT_EQ(LocalPathOnShare("dbhost", "DATA", "x.fdb", mounts), "/mnt/data/x.fdb");
  EXPECT_EQ(LocalPathOnShare("dbhost", "E$", "\\archive\\2024\\a.gbk", mounts), "/mnt/sub/a.gbk");
  EXPECT_FALSE(LocalPathOnShare("dbhost", "E$", "\\other\\a.gbk", mounts));
  EXPECT_FALSE(LocalPathOnShare("dbhost", "D", "\\data\\base.gdb", mounts));  // bare "D" is not "D$"
  EXPECT_FALSE(LocalPathOnShare("nohost", "C", "\\x", mounts));
  EXPECT_EQ(ParseShareSource("//srv/share/a/b/")->SubPath, "/a/b");
  EXPECT_FALSE(ParseShareSource("srv:/export"));
  EXPECT_FALSE(ParseShareSource("//srv"));
}

TEST(SharePath, BuiltFromServerAndServerLocalPath) {
  const struct {
    const char* server;
    const char* local;
    const char* share;
  } cases[] = {
      {"DBHOST", "D:\\data\\base.gdb", "\\\\DBHOST\\D\\\\data\\base.gdb"},
      {"PC1", "C:\\data\\base.gdb", "\\\\PC1\\C\\\\data\\base.gdb"},
      {"srv", "/var/db/base.fdb", "\\\\srv\\\\/var/db/base.fdb"},
      {"", "C:\\x.gdb", "\\\\\\C\\\\x.gdb"},
      {"h", "a:b:c", "\\\\h\\a\\b:c"},
  };
  for (const auto& c : cases) EXPECT_EQ(DatabaseSharePath(c.server, c.local), c.share) << c.local;
}

TEST(SharePath, ResolvedOnThisComputerOnAMountedShareOrNotAtAll) {
  const auto mounts = Sample();
  const struct {
    const char* server;
    const char* local;
    const char* file;  // nullptr: not reachable
  } cases[] = {
      {"myhost", "/var/db/base.fdb", "/var/db/base.fdb"},
      {"MYHOST", "/var/db/base.fdb", "/var/db/base.fdb"},
      {"localhost", "/var/db/base.fdb", "/var/db/base.fdb"},
      {"", "/var/db/base.fdb", "/var/db/base.fdb"},
      {"myhost", "C:\\data\\base.gdb", "C:\\data\\base.gdb"},
      {"other", "C:\\db\\x.fdb", "/srv/other host/db/x.fdb"},
      {"dbhost", "D:\\data\\base.gdb", nullptr},  // mounted as D$, not as D
      {"nohost", "C:\\x.gdb", nullptr},
  };
  for (const auto& c : cases) {
    auto file = ResolveSharePath(DatabaseSharePath(c.server, c.local), "myhost", mounts);
    if (c.file) {
      ASSERT_TRUE(file) << c.server << " " << c.local;
      EXPECT_EQ(*file, c.file);
    } else {
      EXPECT_FALSE(file) << c.server << " " << c.local << " -> " << file.value_or("");
    }
  }
  EXPECT_FALSE(ResolveSharePath("not a share path", "myhost", mounts));
}

TEST(SharePath, ExistingLocalFileIsReachableMissingIsNot) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  const auto file = std::filesystem::temp_directory_path() / ("quorvin_probe_" + std::to_string(getpid()) + ".fdb");
  std::ofstream(file) << "x";
  EXPECT_TRUE(SharePathFileExists(DatabaseSharePath(host, file.string())));
  EXPECT_FALSE(SharePathFileExists(DatabaseSharePath(host, file.string() + ".missing")));
  EXPECT_FALSE(SharePathFileExists(DatabaseSharePath("no-such-server-here", file.string())));
  std::filesystem::remove(file);
}

TEST(JobPaths, NetworkNamesSplitIntoServerAndServerLocalPath) {
  const struct {
    const char* network;
    const char* server;
    const char* local;
    const char* file;
  } cases[] = {
      {"\\\\dbhost\\D$\\data\\base.gdb", "dbhost", "D:\\data\\base.gdb", "base.gdb"},
      {"\\\\dbhost\\data\\base.gdb", "dbhost", "d:ta\\base.gdb", "base.gdb"},  // not checked
      {"\\\\srv\\C$\\x.fdb", "srv", "C:\\x.fdb", "x.fdb"},
      {"\\\\srv\\C", "srv", "C:", ""},
      {"\\\\srv", "srv", "s:v", "v"},
      {"\\\\", "", ":", ""},
  };
  for (const auto& c : cases) {
    const TServerPath p = SplitNetworkName(c.network);
    EXPECT_EQ(p.ServerName, c.server) << c.network;
    EXPECT_EQ(p.LocalPath, c.local) << c.network;
    EXPECT_EQ(p.FileName, c.file) << c.network;
  }
}

TEST(JobPaths, ServerPathOfJobFiles) {
  const auto mounts = Sample();
  const std::string cwd = std::filesystem::current_path().string();
  const struct {
    std::string jobFile;
    const char* server;
    std::string local;
    const char* file;
  } cases[] = {
      {"", "", "", ""},
      {"C:\\data\\base.gdb", "myhost", "C:\\data\\base.gdb", "base.gdb"},
      {"\\\\dbhost\\D$\\data\\base.gdb", "dbhost", "D:\\data\\base.gdb", "base.gdb"},
      {"\\\\dbhost\\data\\base.gdb", "dbhost", "d:ta\\base.gdb", "base.gdb"},
      {"/var/lib/db/Base.FDB", "myhost", "/var/lib/db/Base.FDB", "Base.FDB"},
      {"relative/x.fdb", "myhost", "relative/x.fdb", "x.fdb"},  // stored text, not expanded
      {"/mnt/dbhost-d/data/base.gdb", "dbhost", "D:\\data\\base.gdb", "base.gdb"},
      {"/mnt/dbhost-d/./data/../data/base.gdb", "dbhost", "D:\\data\\base.gdb", "base.gdb"},
      {"/mnt/data/base.gdb", "DBHOST", "d:ta\\base.gdb", "base.gdb"},
      {"/mnt/dbhost-d/local/base.gdb", "myhost", "/mnt/dbhost-d/local/base.gdb", "base.gdb"},
      {"C:\\a\\\\b.gdb", "", "a:\\b.gdb", "b.gdb"},  // two backslashes anywhere make a network name
  };
  for (const auto& c : cases) {
    const TServerPath p = ServerPathOf(c.jobFile, "myhost", mounts);
    EXPECT_EQ(p.ServerName, c.server) << c.jobFile;
    EXPECT_EQ(p.LocalPath, c.local) << c.jobFile;
    EXPECT_EQ(p.FileName, c.file) << c.jobFile;
  }
  EXPECT_EQ(ExpandFileName("x/../y.fdb"), cwd + "/y.fdb");
  EXPECT_EQ(ExpandFileName("D:\\a.gdb"), "D:\\a.gdb");
  EXPECT_EQ(LastPathComponent("D:base.gdb"), "base.gdb");
  EXPECT_EQ(LastPathComponent("base.gdb"), "base.gdb");
}

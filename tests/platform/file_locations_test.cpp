#include "platform/file_locations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "platform/scoped_env.h"
#include "platform/temp_folder.h"

namespace {

using TEnv = std::map<std::string, std::string>;

TFileLocations Decide(const std::string& programDir, bool takesFiles, const TEnv& env) {
  return DecideFileLocations(
      programDir, takesFiles,
      [&env](const char* name) -> const char* {
        const auto found = env.find(name);
        return found == env.end() ? nullptr : found->second.c_str();
      },
      "/home/fallback");
}

TEST(FileLocations, WritableProgramFolderKeepsEverythingBesideTheExecutable) {
  for (const char* dir : {"/opt/quorvin", "/opt/quorvin/"}) {
    const TFileLocations places = Decide(dir, true, {{"HOME", "/home/a"}, {"XDG_CONFIG_HOME", "/x"}});
    EXPECT_TRUE(places.Portable);
    EXPECT_EQ(places.SettingsDir, "/opt/quorvin/");
    EXPECT_EQ(places.DataDir, "/opt/quorvin/");
    EXPECT_EQ(places.SaveDir, "/opt/quorvin/");
  }
}

TEST(FileLocations, OtherwiseTheXdgFoldersOrTheirDefaults) {
  struct Row {
    TEnv env;
    const char* settings;
    const char* data;
    const char* save;
  };
  const Row rows[] = {
      {{{"HOME", "/home/a"}}, "/home/a/.config/Quorvin/", "/home/a/.local/state/Quorvin/", "/home/a/"},
      {{{"HOME", "/home/a/"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_STATE_HOME", "/st/"}},
       "/cfg/Quorvin/",
       "/st/Quorvin/",
       "/home/a/"},
      // Relative or empty values are not XDG folders: the defaults hold.
      {{{"HOME", "/home/a"}, {"XDG_CONFIG_HOME", "cfg"}, {"XDG_STATE_HOME", ""}},
       "/home/a/.config/Quorvin/",
       "/home/a/.local/state/Quorvin/",
       "/home/a/"},
      // Without a usable HOME the password database's home stands in.
      {{}, "/home/fallback/.config/Quorvin/", "/home/fallback/.local/state/Quorvin/", "/home/fallback/"},
      {{{"HOME", "relative"}, {"XDG_STATE_HOME", "/st"}},
       "/home/fallback/.config/Quorvin/",
       "/st/Quorvin/",
       "/home/fallback/"},
  };
  for (const Row& row : rows) {
    const TFileLocations places = Decide("/usr/bin/", false, row.env);
    EXPECT_FALSE(places.Portable);
    EXPECT_EQ(places.SettingsDir, row.settings);
    EXPECT_EQ(places.DataDir, row.data);
    EXPECT_EQ(places.SaveDir, row.save);
  }
}

// FolderTakesFiles as an ordinary user sees it: root may write anywhere, so
// a root test asks from a child process that has given root up.
bool TakesFilesUnprivileged(const std::string& dir) {
  if (geteuid() != 0) return FolderTakesFiles(dir);
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(FolderTakesFiles(dir) ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

TEST(FileLocations, WhichFoldersTakeFiles) {
  TTempFolder dir;
  EXPECT_TRUE(FolderTakesFiles(dir.Path));
  EXPECT_FALSE(FolderTakesFiles(dir / "missing"));
  // The installed system's program folders never do, not even for root; a
  // source tree under /usr does when it may be written.
  for (const char* system : {"/usr/bin", "/usr/bin/", "/usr/local/bin/", "/usr/lib/x86_64-linux-gnu/quorvin/",
                             "/usr/lib64", "/usr/libexec/quorvin", "/usr/local/sbin"})
    EXPECT_FALSE(FolderTakesFiles(system)) << system;
  EXPECT_EQ(FolderTakesFiles("/usr/src/"), access("/usr/src/", W_OK) == 0);

  ASSERT_EQ(mkdir((dir / "open").c_str(), 0777), 0);
  ASSERT_EQ(chmod((dir / "open").c_str(), 0777), 0);
  ASSERT_EQ(mkdir((dir / "closed").c_str(), 0555), 0);
  ASSERT_EQ(chmod(dir.Path.c_str(), 0755), 0);
  EXPECT_TRUE(TakesFilesUnprivileged(dir / "open"));
  EXPECT_FALSE(TakesFilesUnprivileged(dir / "closed"));
}

TEST(FileLocations, LocatingMakesTheXdgFoldersForTheirOwnerOnly) {
  TTempFolder home;
  TScopedEnv env;
  env.Set("HOME", home.Path);
  env.Set("XDG_CONFIG_HOME", home / "deep/config");
  env.Set("XDG_STATE_HOME", "");

  const TFileLocations places = LocateFiles("/usr/bin");
  EXPECT_FALSE(places.Portable);
  EXPECT_EQ(places.SettingsDir, home / "deep/config/Quorvin/");
  EXPECT_EQ(places.DataDir, home / ".local/state/Quorvin/");
  for (const std::string& made :
       {home / "deep", home / "deep/config", places.SettingsDir, home / ".local", places.DataDir}) {
    struct stat st {};
    ASSERT_EQ(stat(made.c_str(), &st), 0) << made;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << made;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
  }
  // Folders that are there already are kept as they are.
  ASSERT_EQ(chmod(places.SettingsDir.c_str(), 0750), 0);
  LocateFiles("/usr/bin");
  struct stat st {};
  ASSERT_EQ(stat(places.SettingsDir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);

  // A writable folder is portable and nothing is made.
  TTempFolder program;
  const TFileLocations portable = LocateFiles(program.Path);
  EXPECT_TRUE(portable.Portable);
  EXPECT_EQ(portable.SettingsDir, program.Path);
}

}  // namespace

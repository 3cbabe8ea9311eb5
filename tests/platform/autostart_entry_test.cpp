// The autostart entry of the desktop session: where it goes, how the
// executable's path is written into Exec, and that desktop-file-validate
// accepts what is written.

#include "platform/autostart_entry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/exception.h"
#include "platform/file_locations.h"
#include "platform/temp_folder.h"

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(AutostartEntry, ExecArgumentsFollowTheDesktopEntryRules) {
  struct TCase {
    const char* Path;
    const char* Exec;  // as it stands in the file
  };
  const TCase cases[] = {
      {"/usr/bin/quorvin", "/usr/bin/quorvin"},
      {"/opt/My Apps/quorvin", "\"/opt/My Apps/quorvin\""},
      {"/srv/a$b/quorvin", "\"/srv/a\\\\$b/quorvin\""},
      {"/srv/a\"b/quorvin", "\"/srv/a\\\\\"b/quorvin\""},
      {"/srv/a\\b/quorvin", "\"/srv/a\\\\\\\\b/quorvin\""},
      {"/srv/50%/quorvin", "/srv/50%%/quorvin"},
      {"/srv/Программы/quorvin", "/srv/Программы/quorvin"},
  };
  for (const TCase& c : cases) EXPECT_EQ(DesktopExecArgument(c.Path), c.Exec) << c.Path;
}

TEST(AutostartEntry, PlaceFollowsXdgConfigHome) {
  const auto env = [](const char* home, const char* config) {
    return [=](const char* name) -> const char* { return std::string(name) == "HOME" ? home : config; };
  };
  EXPECT_EQ(AutostartEntryPath(XdgConfigHome(env("/home/ann", nullptr), "/")),
            "/home/ann/.config/autostart/org.example.quorvin.desktop");
  EXPECT_EQ(AutostartEntryPath(XdgConfigHome(env("/home/ann", "/cfg"), "/")),
            "/cfg/autostart/org.example.quorvin.desktop");
  EXPECT_EQ(AutostartEntryPath(XdgConfigHome(env("/home/ann", "relative"), "/")),
            "/home/ann/.config/autostart/org.example.quorvin.desktop");
}

TEST(AutostartEntry, WrittenValidAndRemoved) {
  TTempFolder dir;
  const std::string entry = AutostartEntryPath(dir / "config");
  const std::string executable = "/opt/Quorvin $1/quorvin";
  WriteAutostartEntry(entry, executable);
  const std::string text = ReadText(entry);
  EXPECT_NE(text.find("\nExec=" + DesktopExecArgument(executable) + "\n"), std::string::npos) << text;
  if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
    EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "'").c_str()), 0);
  }
  RemoveAutostartEntry(entry);
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_NO_THROW(RemoveAutostartEntry(entry));  // already gone

  EXPECT_THROW(WriteAutostartEntry(entry, "/opt/two\nlines"), EOSError);
  EXPECT_FALSE(std::filesystem::exists(entry));
  std::filesystem::create_directories(entry + "/in-the-way");
  EXPECT_THROW(RemoveAutostartEntry(entry), EOSError);
}

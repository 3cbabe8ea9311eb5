// The autostart entry of the desktop session: its place, the executable's
// path in Exec, and desktop-file-validate's approval of what is written.

#include "platform/autostart_entry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/exception.h"
#include "platform/file_locations.h"
#include "platform/temp_folder.h"

TEST(AutostartEntry, ExecArgumentsAndPlace) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/bin/quorvin", "/usr/bin/quorvin"},   {"/opt/My Apps/quorvin", "\"/opt/My Apps/quorvin\""},
      {"/srv/a$b\"c", "\"/srv/a\\\\$b\\\\\"c\""}, {"/srv/a\\b", "\"/srv/a\\\\\\\\b\""},
      {"/srv/50%/quorvin", "/srv/50%%/quorvin"},
  };
  for (const auto& [path, exec] : cases) EXPECT_EQ(DesktopExecArgument(path), exec) << path;
  const auto env = [](const char* name) -> const char* { return std::string(name) == "HOME" ? "/home/ann" : nullptr; };
  EXPECT_EQ(AutostartEntryPath(XdgConfigHome(env, "/")), "/home/ann/.config/autostart/org.example.quorvin.desktop");
}

TEST(AutostartEntry, WrittenValidAndRemoved) {
  TTempFolder dir;
  const std::string entry = AutostartEntryPath(dir / "config");
  WriteAutostartEntry(entry, "/opt/Quorvin $1/quorvin");
  std::ifstream in(entry);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(text.find("\nExec=\"/opt/Quorvin \\\\$1/quorvin\"\n"), std::string::npos) << text;
  EXPECT_EQ(std::system(("desktop-file-validate '" + entry + "'").c_str()), 0);
  RemoveAutostartEntry(entry);
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_NO_THROW(RemoveAutostartEntry(entry));  // already gone
  EXPECT_THROW(WriteAutostartEntry(entry, "/opt/two\nlines"), EOSError);
  std::filesystem::create_directories(entry + "/in-the-way");
  EXPECT_THROW(RemoveAutostartEntry(entry), EOSError);
}

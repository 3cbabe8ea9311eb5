#pragma once
// Helpers for tests against the real Firebird 3.0 (embedded engine through
// protocol Local, server on 127.0.0.1 through TCP). Header-only, no test
// framework needed: failures throw std::runtime_error.
//
//   fbtest::TempFolder dir;                         // 0777, removed at the end
//   std::string db = dir.File("a.fdb");
//   fbtest::CreateDatabase(db);                      // 3 tables, 3000+ rows
//   fbtest::RowCount(db, "T_ORDERS") == 3000
//   fbtest::IsShutdown(db)                           // fbstat -h attributes
//   fbtest::SysdbaPassword()                         // for TCP attaches

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

namespace fbtest {

inline constexpr const char* kServerHost = "127.0.0.1";
inline constexpr const char* kPasswordFile = "/etc/firebird/3.0/SYSDBA.password";

// Row counts of the standard database of CreateDatabase.
inline constexpr int kCustomers = 500;
inline constexpr int kOrders = 3000;
inline constexpr int kNotes = 1000;

// Output (stdout and stderr) of a shell command; exit code through *exitCode.
inline std::string RunCommand(const std::string& command, int* exitCode = nullptr) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run: " + command);
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  const int status = pclose(pipe);
  if (exitCode != nullptr) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

// Single-quoted for the shell.
inline std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// The SYSDBA password of the local server (ISC_PASSWORD="..." or unquoted).
inline std::string SysdbaPassword() {
  std::ifstream in(kPasswordFile);
  if (!in) throw std::runtime_error(std::string("cannot read ") + kPasswordFile);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("ISC_PASSWORD=", 0) != 0) continue;
    std::string value = line.substr(13);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  throw std::runtime_error(std::string("no ISC_PASSWORD in ") + kPasswordFile);
}

// Lets the server (user firebird) read and write a file made by the embedded
// engine running as root.
inline void ShareWithServer(const std::string& path) {
  RunCommand("chown firebird:firebird " + ShellQuote(path));
  ::chmod(path.c_str(), 0666);
}

// A temporary folder every user may use; removed with its content.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "quorvin-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
    ::chmod(path_.c_str(), 0777);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs an isql-fb script (embedded engine unless the script connects over
// TCP); throws with isql's output when it reports an error.
inline std::string RunIsqlScript(const std::string& script, const std::string& database = {}) {
  char name[] = "/tmp/quorvin-isql-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  {
    std::ofstream out(name);
    out << script;
  }
  std::string command = "isql-fb -q -b -u SYSDBA -i " + ShellQuote(name);
  if (!database.empty()) command += " " + ShellQuote(database);
  int code = 0;
  std::string output = RunCommand(command, &code);
  std::remove(name);
  if (code != 0 || output.find("Statement failed") != std::string::npos) {
    throw std::runtime_error("isql-fb failed (" + std::to_string(code) + "): " + output);
  }
  return output;
}

// Creates a database with tables T_CUSTOMERS (500 rows), T_ORDERS (3000 rows,
// foreign key, index) and T_NOTES (1000 rows, blobs), readable and writable by
// the server afterwards. `scale` multiplies the row counts.
inline void CreateDatabase(const std::string& path, int scale = 1, int pageSize = 8192) {
  std::ostringstream sql;
  sql << "SET SQL DIALECT 3;\n"
      << "CREATE DATABASE '" << path << "' USER 'SYSDBA' PAGE_SIZE " << pageSize << " DEFAULT CHARACTER SET UTF8;\n"
      << "CREATE TABLE T_CUSTOMERS (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(80) NOT NULL, CITY VARCHAR(40));\n"
      << "CREATE TABLE T_ORDERS (ID INTEGER NOT NULL PRIMARY KEY, CUSTOMER_ID INTEGER NOT NULL REFERENCES "
         "T_CUSTOMERS(ID), AMOUNT NUMERIC(12,2), CREATED TIMESTAMP, COMMENT_TEXT VARCHAR(200));\n"
      << "CREATE INDEX IX_ORDERS_CREATED ON T_ORDERS(CREATED);\n"
      << "CREATE TABLE T_NOTES (ID INTEGER NOT NULL PRIMARY KEY, BODY BLOB SUB_TYPE TEXT);\n"
      << "COMMIT;\nSET TERM ^;\n"
      << "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN\n"
      << "  WHILE (I < " << kCustomers * scale << ") DO BEGIN\n"
      << "    INSERT INTO T_CUSTOMERS VALUES (:I, 'Customer ' || :I, 'City ' || MOD(:I, 37)); I = I + 1; END\n"
      << "  I = 0;\n"
      << "  WHILE (I < " << kOrders * scale << ") DO BEGIN\n"
      << "    INSERT INTO T_ORDERS VALUES (:I, MOD(:I, " << kCustomers * scale << "), :I * 1.25,\n"
      << "      DATEADD(:I MINUTE TO TIMESTAMP '2024-01-01 00:00:00'), 'Order number ' || :I || ' ' || "
         "LPAD('', MOD(:I, 150), 'x'));\n"
      << "    I = I + 1; END\n"
      << "  I = 0;\n"
      << "  WHILE (I < " << kNotes * scale << ") DO BEGIN\n"
      << "    INSERT INTO T_NOTES VALUES (:I, 'Note ' || :I || ' ' || LPAD('', 300 + MOD(:I, 500), 'n')); I = I + 1; "
         "END\n"
      << "END^\nSET TERM ;^\nCOMMIT;\n";
  RunIsqlScript(sql.str());
  ShareWithServer(path);
}

// Number of rows of a table, through isql-fb (embedded engine).
inline long long RowCount(const std::string& database, const std::string& table) {
  const std::string output = RunIsqlScript("SELECT 'ROWS=' || COUNT(*) FROM " + table + ";\n", database);
  std::smatch match;
  static const std::regex rows("ROWS=([0-9]+)");
  if (!std::regex_search(output, match, rows)) throw std::runtime_error("no row count in: " + output);
  return std::stoll(match[1].str());
}

// The "Attributes" line of the database header (fbstat -h, Debian's gstat).
inline std::string HeaderAttributes(const std::string& database) {
  int code = 0;
  const std::string output = RunCommand("fbstat -h " + ShellQuote(database), &code);
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t at = line.find("Attributes");
    if (at != std::string::npos) return line.substr(at + 10);
  }
  if (code != 0) throw std::runtime_error("fbstat -h failed: " + output);
  return std::string();
}

// Whether the header says the database is shut down, in any mode: Firebird 3
// shows the legacy shutdown request (isc_spb_prp_shutdown_db) as
// "multi-user maintenance", the others as "single-user maintenance" and
// "full shutdown".
inline bool IsShutdown(const std::string& database) {
  const std::string attributes = HeaderAttributes(database);
  for (const char* mode : {"multi-user maintenance", "single-user maintenance", "full shutdown"}) {
    if (attributes.find(mode) != std::string::npos) return true;
  }
  return false;
}

// Connections of this process to a TCP port of this computer (the server's
// 3050 by default) that are open: the sockets of /proc/self/fd matched with
// the kernel's TCP tables. Other people's connections to the shared server
// are not counted.
inline int OwnConnectionsToPort(int port = 3050) {
  std::set<std::string> sockets;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (!error && target.rfind("socket:[", 0) == 0) sockets.insert(target.substr(8, target.size() - 9));
  }
  int count = 0;
  for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
      fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
      const size_t colon = remote.rfind(':');
      if (colon == std::string::npos || state != "01") continue;  // 01: established
      if (std::stoi(remote.substr(colon + 1), nullptr, 16) == port && sockets.count(inode) > 0) ++count;
    }
  }
  return count;
}

// Brings a database on line again with gfix (cleanup after a failed test).
inline void BringOnline(const std::string& database) {
  RunCommand("gfix -online -user SYSDBA " + ShellQuote(database));
}

}  // namespace fbtest

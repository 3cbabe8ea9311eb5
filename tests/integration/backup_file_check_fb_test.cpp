// Backup files written by the real gbak (local, through the embedded engine's
// service, through the server's service, to standard output) of databases of
// many shapes are judged whole; the same files cut short anywhere are judged
// cut short, and gbak itself agrees that they are not whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "integration/fb_fixture.h"
#include "service/backup_file_check.h"

namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class BackupFileCheckFirebird : public ::testing::Test {
 protected:
  void SetUp() override {
    db = dir.File("base.fdb");
    fbtest::CreateDatabase(db, 3);
  }
  // A backup made by `command` (with %D the database, %B the backup file).
  std::string Made(const std::string& name, std::string command) {
    const std::string gbk = dir.File(name);
    for (const auto& [mark, value] : {std::pair{"%D", db}, std::pair{"%B", gbk}})
      command.replace(command.find(mark), 2, fbtest::ShellQuote(value));
    int code = -1;
    const std::string out = fbtest::RunCommand(command + " </dev/null", &code);
    EXPECT_EQ(code, 0) << command << "\n" << out;
    return gbk;
  }

  fbtest::TempFolder dir{"quorvin-gbk"};
  std::string db;
};

// Every way the file is cut short: the whole header, two hundred places
// spread over the file, both sides of gbak's write buffers, the last
// kilobyte, and up to the end record itself.
void ExpectEveryCutRefused(const std::string& whole) {
  const auto judge = [&whole](std::size_t size) {
    return JudgeBackupFile(size, [&](std::uint64_t offset, std::size_t count) {
      return offset >= size ? std::string() : whole.substr(offset, std::min<std::size_t>(count, size - offset));
    });
  };
  // Just past the end record: the shortest prefix that is complete.
  std::size_t low = 0, end = whole.size();
  while (low + 1 < end) {
    const std::size_t middle = (low + end) / 2;
    (judge(middle) == TBackupFileEnd::Complete ? end : low) = middle;
  }
  ASSERT_GT(end, 3u);
  std::set<std::size_t> cuts;
  for (std::size_t at = 3; at < std::min<std::size_t>(end, 300); ++at) cuts.insert(at);
  for (std::size_t k = 1; k < 200; ++k) cuts.insert(end * k / 200);
  for (std::size_t buffer = 262144; buffer < end; buffer += 262144)
    for (std::size_t at = buffer - 512; at <= std::min(buffer + 512, end); at += 37) cuts.insert(at);
  for (std::size_t back = 1; back <= std::min<std::size_t>(end, 1024); back += back < 64 ? 1 : 29)
    cuts.insert(end - back);
  for (std::size_t cut : cuts) {
    if (cut < 3 || cut >= end) continue;
    EXPECT_EQ(judge(cut), TBackupFileEnd::CutShort) << "cut at " << cut << " of " << end;
  }
}

// A database shape of the corpus: its DDL and a loop body over :i.
struct TShape {
  const char* Name;
  int PageSize;
  const char* Charset;
  std::string Schema;
  std::string Fill;
  int Rows;
};

const std::string kNoKeys =
    "create table customers (id integer, name varchar(40), city varchar(30));\n"
    "create table orders (id integer, cust integer, amount numeric(12,2), note varchar(100));\n"
    "create table items (id integer, ord integer, qty integer, title varchar(50));\n";
const std::string kNoKeysFill =
    "insert into customers values (:i, 'Customer ' || :i, 'City ' || mod(:i, 50));"
    "insert into orders values (:i, mod(:i, 3000), :i * 1.5, rpad('note ' || :i, 100, 'x'));"
    "if (i < n / 3) then insert into items values (:i, :i, mod(:i, 7), 'Item ' || :i);";
const std::string kMetadata =
    "create domain d_amount numeric(12,2) default 0 check (value >= 0);\n"
    "create domain d_name varchar(60) not null;\n"
    "create sequence s_ids;\n"
    "create exception e_long '" +
    std::string(400, 'e') +
    "';\n"
    "create table customers (id integer not null primary key, name d_name, total d_amount,\n"
    "  shown computed by ('#' || name), grid integer[3,4], photo blob sub_type binary);\n"
    "comment on table customers is 'Customers of the shop';\n"
    "comment on column customers.name is 'Their name';\n"
    "create index customers_upper on customers computed by (upper(name));\n"
    "create view big_customers as select id, name from customers where total > 100;\n"
    "create role auditor;\n"
    "grant select on customers to auditor;\n"
    "set term ^;\n"
    "create trigger customers_bi for customers before insert as begin\n"
    "  if (new.id is null) then new.id = next value for s_ids; end^\n"
    "create procedure add_customer (n varchar(60)) returns (new_id integer) as begin\n"
    "  insert into customers (name) values (:n) returning id into :new_id; suspend; end^\n"
    "create function twice (x integer) returns integer as begin return x * 2; end^\n"
    "create package pk as begin function f(x integer) returns integer; end^\n"
    "create package body pk as begin function f(x integer) returns integer as begin return x + 1; end end^\n"
    "set term ;^\n";

// Empty, keys or none, 1 to 50 000 rows, short and long text, blobs over
// 64 KB and many small ones, every kind of metadata, page sizes 4-16 KB,
// character sets UTF8 and NONE.
std::vector<TShape> Corpus() {
  return {
      {"empty", 4096, "NONE", "", "", 0},
      {"no-keys", 8192, "UTF8", kNoKeys, kNoKeysFill, 3000},
      {"no-keys-small", 16384, "NONE", kNoKeys, kNoKeysFill, 200},
      {"one-row", 4096, "NONE", "create table t (id integer, name varchar(30));\n",
       "insert into t values (:i, 'only');", 1},
      {"keys", 16384, "NONE",
       "create table t (id integer primary key, code varchar(20) unique, v double precision);\n"
       "create descending index t_v on t (v);\n",
       "insert into t values (:i, 'c' || :i, :i / 7.0);", 50000},
      {"long-text", 4096, "UTF8", "create table t (id integer, txt varchar(8000));\n",
       "insert into t values (:i, rpad('long ' || :i, 3000 + mod(:i * 37, 5000), 'abc'));", 200},
      {"binary-blobs", 8192, "NONE", "create table t (id integer, b blob sub_type binary);\n",
       "insert into t values (:i, (select list(gen_uuid(), '') from rdb$types a, rdb$types b rows 5000));", 12},
      {"small-blobs", 16384, "UTF8", "create table t (id integer, memo blob sub_type text);\n",
       "insert into t values (:i, 'memo ' || :i);", 3000},
      {"metadata", 8192, "UTF8", kMetadata, "insert into customers (name, total) values ('c' || :i, :i);", 300},
  };
}

void CreateShape(const TShape& shape, const std::string& db) {
  std::string script = "create database '" + db + "' user 'SYSDBA' page_size " + std::to_string(shape.PageSize) +
                       " default character set " + shape.Charset + ";\n" + shape.Schema + "commit;\n";
  if (!shape.Fill.empty()) {
    script += "set term ^;\nexecute block as declare i int = 0; declare n int = " + std::to_string(shape.Rows) +
              "; begin while (i < n) do begin " + shape.Fill + " i = i + 1; end end^\nset term ;^\ncommit;\n";
  }
  fbtest::RunIsqlScript(script);
  fbtest::ShareWithServer(db);
}

TEST_F(BackupFileCheckFirebird, ACorpusOfShapesByTheServerAndTheEngineWholeAndCut) {
  const std::string server = std::string("-se ") + fbtest::kServerHost + ":service_mgr -user SYSDBA -password " +
                             fbtest::ShellQuote(fbtest::SysdbaPassword());
  for (const TShape& shape : Corpus()) {
    db = dir.File(std::string(shape.Name) + ".fdb");
    CreateShape(shape, db);
    for (const auto& [by, command] :
         {std::pair{"engine", std::string("gbak -b %D %B")}, std::pair{"server", "gbak -b " + server + " %D %B"}}) {
      SCOPED_TRACE(std::string(shape.Name) + " backed up by the " + by);
      const std::string gbk = Made(std::string(shape.Name) + "-" + by + ".gbk", command);
      EXPECT_EQ(JudgeBackupFile(gbk), TBackupFileEnd::Complete);
      ExpectEveryCutRefused(Bytes(gbk));
      std::filesystem::remove(gbk);
    }
  }
}

TEST_F(BackupFileCheckFirebird, WholeBackupsOfEveryKindAndTheirCuts) {
  const std::string server = std::string("-se ") + fbtest::kServerHost + ":service_mgr -user SYSDBA -password " +
                             fbtest::ShellQuote(fbtest::SysdbaPassword());
  ::chmod(dir.Path().c_str(), 0777);
  const std::string files[] = {
      Made("local.gbk", "gbak -b %D %B"),
      Made("factor.gbk", "gbak -b -factor 3 %D %B"),
      Made("plain.gbk", "gbak -b -nt -g %D %B"),
      Made("transportable.gbk", "gbak -b -t %D %B"),
      Made("metadata.gbk", "gbak -b -m %D %B"),
      Made("stdout.gbk", "gbak -b %D stdout > %B"),
      Made("server.gbk", "gbak -b " + server + " %D %B"),
      Made("server_stdout.gbk", "gbak -b " + server + " %D stdout > %B"),
  };
  for (const std::string& gbk : files) {
    SCOPED_TRACE(gbk);
    EXPECT_EQ(JudgeBackupFile(gbk), TBackupFileEnd::Complete);
    ExpectEveryCutRefused(Bytes(gbk));
  }
}

TEST_F(BackupFileCheckFirebird, GbakAgreesTheCutFilesAreNotWhole) {
  const std::string gbk = Made("local.gbk", "gbak -b %D %B");
  const std::string whole = Bytes(gbk);
  for (std::size_t cut : {whole.size() / 2, std::size_t{262144}, whole.size() - 600}) {
    SCOPED_TRACE(cut);
    const std::string part = dir.File("part.gbk");
    std::ofstream(part, std::ios::binary) << whole.substr(0, cut);
    ASSERT_EQ(JudgeBackupFile(part), TBackupFileEnd::CutShort);
    const std::string target = dir.File("from_part.fdb");
    std::filesystem::remove(target);
    int code = -1;
    const std::string out = fbtest::RunCommand(
        "gbak -c " + fbtest::ShellQuote(part) + " " + fbtest::ShellQuote(target) + " </dev/null", &code);
    EXPECT_NE(code, 0) << out;
    EXPECT_NE(out.find("Backup incomplete"), std::string::npos) << out;
  }
  // The whole file restores.
  const std::string target = dir.File("from_whole.fdb");
  int code = -1;
  const std::string out = fbtest::RunCommand(
      "gbak -c " + fbtest::ShellQuote(gbk) + " " + fbtest::ShellQuote(target) + " </dev/null", &code);
  EXPECT_EQ(code, 0) << out;
}

}  // namespace

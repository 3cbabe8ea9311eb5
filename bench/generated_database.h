#pragma once
// The generated database of the benchmarks: wide rows with an index, grown
// until the file holds the size asked for.

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "integration/fb_fixture.h"

// Grows a database with wide rows until the file holds at least sizeMb MB.
inline void GenerateDatabase(const std::string& path, int sizeMb) {
  fbtest::RunIsqlScript("SET SQL DIALECT 3;\nCREATE DATABASE '" + path +
                        "' USER 'SYSDBA' PAGE_SIZE 8192;\n"
                        "CREATE TABLE T_DATA (ID INTEGER NOT NULL PRIMARY KEY, GRP INTEGER, CREATED TIMESTAMP, "
                        "PAYLOAD VARCHAR(1000), NOTE VARCHAR(200));\nCREATE INDEX IX_DATA_GRP ON T_DATA(GRP);\n"
                        "CREATE TABLE T_SMALL (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40));\nCOMMIT;\n");
  const int batch = 20000;
  int next = 0;
  while (std::filesystem::file_size(path) < static_cast<uintmax_t>(sizeMb) * 1024 * 1024) {
    std::ostringstream sql;
    sql << "SET TERM ^;\nEXECUTE BLOCK AS DECLARE I INTEGER = " << next << "; BEGIN\n"
        << "  WHILE (I < " << next + batch << ") DO BEGIN\n"
        << "    INSERT INTO T_DATA VALUES (:I, MOD(:I, 97), DATEADD(:I SECOND TO TIMESTAMP '2024-01-01 00:00:00'),\n"
        << "      LPAD('', 700 + MOD(:I * 7, 300), UUID_TO_CHAR(GEN_UUID())), 'row ' || :I);\n"
        << "    INSERT INTO T_SMALL VALUES (:I, 'name ' || :I);\n"
        << "    I = I + 1; END\nEND^\nSET TERM ;^\nCOMMIT;\n";
    fbtest::RunIsqlScript(sql.str(), path);
    next += batch;
  }
  fbtest::ShareWithServer(path);
}

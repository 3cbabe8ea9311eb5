// What gbak's output says of a copy made on this computer, and the versions
// of gbak and the client library compared.

#include "runner/local_copy_gbak.h"

#include <gtest/gtest.h>

#include <vector>

#include "runner/job_output.h"

namespace {

TEST(LocalCopyGbak, OutcomeOfGbaksLinesAndVersions) {
  const std::string closing = "gbak:closing file, committing, and finishing. 4096 bytes written";
  struct Row {
    std::vector<std::string> lines;
    std::uint64_t received;
    const char* error;  // nullptr: the copy is good
  } const rows[] = {
      {{"gbak:writing tables", closing}, 4096, nullptr},
      {{"gbak:writing tables"}, 100, nullptr},  // no size said: what arrived counts
      {{closing}, 4000, "incomplete: gbak wrote 4096 bytes, 4000 arrived"},
      {{"gbak: ERROR:Unable to complete network request", "gbak:Exiting before completion due to errors", closing},
       4096,
       "gbak reported: gbak: ERROR:Unable to complete network request"},
      {{}, 0, "no backup file arrived"},
  };
  for (const Row& row : rows) {
    TJobOutput output;
    TGbakLines lines(output);
    for (const std::string& line : row.lines) lines.Add(line);
    try {
      lines.Check(row.received);
      EXPECT_EQ(row.error, nullptr);
    } catch (const std::exception& error) {
      ASSERT_NE(row.error, nullptr) << error.what();
      EXPECT_NE(std::string(error.what()).find(row.error), std::string::npos) << error.what();
    }
  }
  EXPECT_EQ(FirebirdVersionIn("gbak:gbak version LI-V3.0.11.33637 Firebird 3.0"), "Firebird 3.0");
  EXPECT_EQ(FirebirdVersionIn("LI-V6.3.11.33637 Firebird 3.0"), "Firebird 3.0");
  EXPECT_EQ(FirebirdVersionIn("gbak: ERROR:requires both input and output filenames"), "");
}

}  // namespace

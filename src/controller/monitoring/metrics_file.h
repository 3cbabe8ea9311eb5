#pragma once
// The metrics file of a folder that the node exporter's text-file collector
// reads: written whole into a temporary file beside it (a name the collector
// does not read) and renamed over it, so the collector never sees a part;
// readable by everyone (the exporter runs as a user of its own), since it
// holds names of databases and no secret.

#include <string>

class TQuorvin;

class TMetricsFile {
 public:
  explicit TMetricsFile(const std::string& folder);
  const std::string& Path() const { return FPath; }
  // Writes the plan's metrics of `q` as they are now (`planRunning`: this
  // program runs the plan). Returns what went wrong, naming the file;
  // empty when it was written or had not changed.
  std::string Update(const TQuorvin& q, bool planRunning);

 private:
  std::string FPath;
  std::string FWritten;
};

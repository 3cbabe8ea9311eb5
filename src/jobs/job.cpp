#include "jobs/job.h"

#include "platform/text.h"

void TJobFileName::Set(std::string_view value) {
  if (Utf8Length(value) > FileNameChars) {
    FName.Set("");
    FRefused = std::string(value);
    return;
  }
  FName.Set(value);
  FRefused.clear();
}

bool RestoresDatabase(const TJob& job) {
  return job.Kind == TJobKind::Restore || job.Kind == TJobKind::PhysicalRestore;
}

const TJobFileName& SourceOf(const TJob& job) { return RestoresDatabase(job) ? job.BackupFile : job.Database; }

const TJobFileName& TargetOf(const TJob& job) { return RestoresDatabase(job) ? job.Database : job.BackupFile; }

TProtocol JobProtocolOf(std::int32_t stored) {
  return static_cast<TProtocol>(static_cast<std::uint8_t>(stored & 0xFF));
}

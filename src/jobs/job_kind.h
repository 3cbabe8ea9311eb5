#pragma once
// The kinds of job, apart from the rest of a job's description: what names a
// job to the status line and the queue needs nothing more.

enum class TJobKind {
  Backup,
  Restore,
  Repair,
  // A physical (nbackup) backup of a level of the database into the backup
  // file, and a physical restore of a chain of such files into the database.
  PhysicalBackup,
  PhysicalRestore
};

#pragma once
// The process's character type (LC_CTYPE). The program's texts, file names
// included, are UTF-8 throughout; the client library converts every name it
// sends (database, backup file) from the process's character type into the
// server's UTF-8, and settles that conversion once, at its first use. Under a
// character type that is not UTF-8 (LC_ALL=C from cron or a service manager)
// a Cyrillic path is refused with "Bad international character in tag
// isc_spb_dbname", so the character type must be UTF-8 before the library is
// first used.

// Leaves a UTF-8 character type as it is; otherwise switches LC_CTYPE alone
// (dates, times and numbers keep theirs) to the environment's own when that
// one is UTF-8, else to C.UTF-8 or another UTF-8 one the system has. True
// when the character type is UTF-8 afterwards.
bool UseUtf8CharacterType();

// True when the current character type's code set is UTF-8.
bool CharacterTypeIsUtf8();

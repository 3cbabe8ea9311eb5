#pragma once
// Descriptor 0 of the process kept open on /dev/null when it is not open on
// anything. Firebird 3.0's nbackup, failing, closes descriptor 0 of the
// process it runs in (the embedded engine: this program's); the next file
// opened would take that number and be closed by the next failure.

// Opens /dev/null as descriptor 0 when descriptor 0 is closed; true when it
// had to.
bool ReopenClosedStandardInput();

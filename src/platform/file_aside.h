#pragma once
// Moving a file out of the way without ever replacing another one: a job that
// recreates a file must be able to put the previous one back when it fails.

#include <functional>
#include <string>

// Renames `path` to a fresh name in the same folder (`path` + ".aside-"
// + random letters) and returns that name. `beforeRename`, when given, hears
// each name right before the rename to it is tried (a record of the job
// in progress notes it first). Raises EOSError when the file cannot be
// renamed.
std::string MoveAside(const std::string& path, const std::function<void(const std::string& aside)>& beforeRename = {});

// Renames `path` to `wanted`, or, when a file of that name exists, to
// `wanted` + ".2", ".3" … (never replacing anything) and returns the name
// used. Raises EOSError when the file cannot be renamed.
std::string MoveToFreeName(const std::string& path, const std::string& wanted);

// Renames `from` to `to` only if nothing is named `to`; false (errno set)
// otherwise.
bool RenameNoReplace(const std::string& from, const std::string& to);

// The message of a refused rename of `from` to `to` ("Cannot rename …"
// or `what` in its place), with the folder and the right it lacks when a
// folder refused it.
std::string RenameErrorText(const std::string& what, int error, const std::string& to);

// `count` random lowercase letters and digits, for fresh file names.
std::string RandomLetters(std::size_t count);

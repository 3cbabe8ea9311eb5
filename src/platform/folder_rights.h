#pragma once
// Which folder refuses this process what a job needs of it, said so that an
// administrator can give the right: the folder, its owner, group and mode,
// the user with its groups, and who has the right. A system service's user
// meets this in the folders of the database server (Debian's database
// folder and the engine's lock folder belong to group firebird, mode 0770).

#include <string>

// What a job needs of a folder: to find names in it (enter), to make,
// rename and remove them (write and enter), or all of it with listing (the
// embedded engine's lock folder).
enum class TFolderNeed { Enter, Write, Everything };

// One sentence on the first folder on the way to `folder` (its parents need
// to be entered) that refuses this process `need`: "The folder
// /var/lib/firebird/3.0/data (owner firebird, group firebird, mode 0770) does
// not let user quorvin (groups quorvin) write in it; members of group
// firebird may." Empty when nothing refuses it (or it cannot be told).
std::string RefusedFolderRight(const std::string& folder, TFolderNeed need);

// 0 when this process has `need` on `folder` itself (its parents not
// looked at), else the error that refuses it (EACCES, EROFS, ENOENT …).
int FolderRefusal(const std::string& folder, TFolderNeed need);
// 0 when this process may read and write the file, else the error.
int ReadWriteRefusal(const std::string& file);

// The folder of `path` (the current folder for a bare name).
std::string FolderOf(const std::string& path);

#pragma once

#include <string>

namespace platform {

// Free bytes on the volume that holds `path`; 0 when that cannot be told (empty path, no volume).
// Windows: the volume root is the path's first character followed by ":/" and the count includes
// blocks reserved for others. Elsewhere: the nearest existing folder of the path, counting only the
// bytes the user may fill.
unsigned long long diskFreeBytes(const std::wstring& path);

enum class CreateFileResult
{
    Created,
    AccessDenied,
    Exists,
    Failed
};

// Creates `filePath` as a new file for writing, closes it and removes it again; an existing file
// (or link) of that name is never opened, truncated or removed: Exists. AccessDenied only when the
// system refused for lack of permission (Windows ERROR_ACCESS_DENIED; elsewhere EACCES, EPERM or
// EROFS); every other failure, such as a missing folder, is Failed.
CreateFileResult createAndRemoveFile(const std::wstring& filePath);

// Adds the hidden and system attributes; false when the attributes cannot be read or set, and
// always false where the file system has no such attributes.
bool setHiddenSystem(const std::wstring& path);

// Writes the file's data, or a folder's entries, through to the disk; false when it cannot be
// opened or the system reports an error. A folder needs it after a file in it was created or
// renamed, or the new name may not survive a power loss.
bool syncFile(const std::wstring& path);
bool syncFolder(const std::wstring& path);

// Gives a file a new name on the same volume: never a copy, and never over an existing file.
// False otherwise (another volume, the name is taken, ...), and nothing has changed.
bool renameFile(const std::wstring& from, const std::wstring& to);

// Creates the folder `path` (its parent must exist) for the user alone (elsewhere than on
// Windows: mode 0700). True also when `path` already is a folder of the user's (isOwnFolder).
bool createPrivateFolder(const std::wstring& path);
// Whether `path` itself is a folder of the user's: a real folder (a link to one is not, nor, on
// Windows, a reparse point) owned by the user.
bool isOwnFolder(const std::wstring& path);
// Whether `path` itself is a regular file (not a link to one) owned by the user.
bool isOwnFile(const std::wstring& path);
// Whether anything has this name, a link included, dangling or not.
bool nameTaken(const std::wstring& path);
// Creates a new file for writing, readable by the user alone: never an existing file and never
// through a link. A descriptor for QFile::open(int, ...) (closed with the QFile), or -1.
int createNewFile(const std::wstring& path);

} // namespace platform

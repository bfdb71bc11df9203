#include "PlatformFiles.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

unsigned long long platform::diskFreeBytes(const std::wstring& path)
{
    if (path.empty())
        return 0;
    std::wstring root(1, path[0]);
    root += L":/";
    ULARGE_INTEGER available{}, total{}, free{};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free))
        return 0;
    return free.QuadPart;
}

platform::CreateFileResult platform::createAndRemoveFile(const std::wstring& filePath)
{
    HANDLE file = CreateFileW(filePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return CreateFileResult::Exists;
        return error == ERROR_ACCESS_DENIED ? CreateFileResult::AccessDenied : CreateFileResult::Failed;
    }
    CloseHandle(file);
    DeleteFileW(filePath.c_str());
    return CreateFileResult::Created;
}

bool platform::setHiddenSystem(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) != 0;
}

bool platform::syncFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return ok;
}

bool platform::syncFolder(const std::wstring& path)
{
    // NTFS journals its folder entries; there is nothing to flush but the folder must exist.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool platform::renameFile(const std::wstring& from, const std::wstring& to)
{
    // Without MOVEFILE_COPY_ALLOWED a move to another volume fails; without
    // MOVEFILE_REPLACE_EXISTING an existing file is kept.
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

namespace {

bool hasAttributes(const std::wstring& path, DWORD wanted)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == wanted;
}

} // namespace

bool platform::isOwnFolder(const std::wstring& path)
{
    return hasAttributes(path, FILE_ATTRIBUTE_DIRECTORY);
}

bool platform::isOwnFile(const std::wstring& path)
{
    return hasAttributes(path, 0);
}

bool platform::createPrivateFolder(const std::wstring& path)
{
    if (CreateDirectoryW(path.c_str(), nullptr))
        return true;
    return GetLastError() == ERROR_ALREADY_EXISTS && isOwnFolder(path);
}

bool platform::nameTaken(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int platform::createNewFile(const std::wstring& path)
{
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

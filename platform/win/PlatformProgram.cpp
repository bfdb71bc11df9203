#include "PlatformProgram.h"

#include <windows.h>

std::wstring platform::programFolder()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0)
        return std::wstring();
    std::wstring folder(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, &folder[0]);
    if (length == 0 || length >= size)
        return std::wstring();
    folder.resize(length);
    if (folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder;
}

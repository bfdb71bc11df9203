#pragma once

#include <string>

namespace platform {

// Starts the start-up script of the program folder (screen.bat on Windows, screen.sh
// elsewhere) hidden and detached; a missing script or a failed start is ignored.
void startStartupScript(const std::wstring& programFolder);

// Opens the folder of the file at `path` in the file manager with the file selected, without
// waiting for it. Where no file manager answers, the folder is opened as a plain URL instead.
void revealFile(const std::wstring& path);

// The Explorer command that reveals `path`: every slash becomes a back-slash and every pair of
// back-slashes a single one, so a path written either way reaches Explorer in its own form.
inline std::wstring explorerSelectCommand(const std::wstring& path)
{
    std::wstring p = path;
    for (wchar_t& c : p) {
        if (c == L'/')
            c = L'\\';
    }
    for (std::wstring::size_type i = p.find(L"\\\\"); i != std::wstring::npos; i = p.find(L"\\\\", i + 1))
        p.replace(i, 2, L"\\");
    return L"explorer.exe /select, \"" + p + L"\"";
}

} // namespace platform

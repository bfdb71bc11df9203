#pragma once

#include <QString>
#include <QtGlobal>

#include <string>

// Shared helpers for sizes, durations, output folders and processes. They keep no state.

// A size in steps of 1024 with at most one cut (not rounded) decimal: 1536 -> "1.5KB".
QString formatSize(quint64 bytes);
// "hh:mm:ss" with unlimited hours: 360000 -> "100:00:00".
QString formatDuration(unsigned seconds);

// False only when creating a file in `folder` is refused for lack of permission; a folder that
// does not exist counts as writable.
bool isFolderWritable(const QString& folder);
// Free bytes on the volume of `path`; 0 when unknown.
quint64 diskFreeBytes(const QString& path);
// Removes the folder with everything in it; nothing is reported. Links are removed, never followed.
void removeFolder(const QString& path);
// Marks the path hidden and system where the file system knows these attributes.
bool setHiddenSystem(const std::wstring& path);

// printf-style formatting into a standard string.
std::string formatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Three-way comparison; with ignoreCase only ASCII letters are folded.
int compareText(const std::wstring& a, const std::wstring& b, bool ignoreCase);

// Whether a process with this executable name (case ignored) runs.
bool isProcessRunning(const std::wstring& exeName);

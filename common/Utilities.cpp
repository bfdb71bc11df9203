#include "Utilities.h"

#include "PlatformFiles.h"
#include "PlatformProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdarg>
#include <cstdio>

QString formatSize(quint64 bytes)
{
    static const char* const units[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    double remainder = 0;
    while (value >= 1024.0 && unit < 5) {
        remainder = std::fmod(std::floor(value), 1024.0);
        value /= 1024.0;
        ++unit;
    }
    QString text = QString::number(std::floor(value), 'g', 6);
    // Only the first digit after the point of the last division's remainder is shown, cut off.
    const QString fraction = QString::number(remainder / 1024.0, 'g', 6);
    const int digit = fraction.size() > 2 ? fraction.at(2).digitValue() : 0;
    if (digit > 0)
        text += QStringLiteral(".%1").arg(digit);
    return text + QLatin1String(units[unit]);
}

QString formatDuration(unsigned seconds)
{
    const QChar zero = QLatin1Char('0');
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, zero)
        .arg(seconds / 60 % 60, 2, 10, zero)
        .arg(seconds % 60, 2, 10, zero);
}

bool isFolderWritable(const QString& folder)
{
    // A name of our own: the probe is created new and never touches a file that is there.
    for (int i = 0; i < 100; ++i) {
        const QString probe =
            folder + (i == 0 ? QStringLiteral("/test.tst") : QStringLiteral("/test-%1.tst").arg(i));
        const platform::CreateFileResult result = platform::createAndRemoveFile(probe.toStdWString());
        if (result != platform::CreateFileResult::Exists)
            return result != platform::CreateFileResult::AccessDenied;
    }
    return true;
}

quint64 diskFreeBytes(const QString& path)
{
    return platform::diskFreeBytes(path.toStdWString());
}

void removeFolder(const QString& path)
{
    QDir dir(path);
    if (path.isEmpty() || !dir.exists())
        return;
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.absoluteFilePath();
        if (entry.isSymLink()) {
            // A link to a folder elsewhere must not take that folder's contents with it.
            if (!QFile::remove(name))
                QDir().rmdir(name);
        } else if (entry.isDir()) {
            removeFolder(name);
        } else {
            QFile::remove(name);
        }
    }
    QDir().rmdir(dir.absolutePath());
}

bool setHiddenSystem(const std::wstring& path)
{
    return platform::setHiddenSystem(path);
}

std::string formatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text;
    if (length > 0) {
        std::string buffer(static_cast<size_t>(length) + 2, '\0');
        std::vsnprintf(&buffer[0], buffer.size(), format, args);
        text.assign(buffer.c_str(), static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

int compareText(const std::wstring& a, const std::wstring& b, bool ignoreCase)
{
    if (!ignoreCase)
        return a.compare(b);
    auto upper = [](std::wstring s) {
        for (wchar_t& c : s) {
            if (c >= L'a' && c <= L'z')
                c = wchar_t(c - L'a' + L'A');
        }
        return s;
    };
    return upper(a).compare(upper(b));
}

bool isProcessRunning(const std::wstring& exeName)
{
    for (const platform::ProcessEntry& process : platform::runningProcesses()) {
        if (compareText(process.exeName, exeName, true) == 0)
            return true;
    }
    return false;
}

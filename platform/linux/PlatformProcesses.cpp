#include "PlatformProcesses.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

bool sameNameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

// argv[0]'s base name of process `folder` (/proc/PID); empty for kernel threads and zombies.
QByteArray baseName(const QByteArray& folder)
{
    QFile cmdline(QString::fromLatin1(folder + "/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray argv0 = cmdline.read(4096).split('\0').value(0);
    return argv0.mid(argv0.lastIndexOf('/') + 1);
}

// The camera preview reads its camera through the encoder program, so its feed runs under the
// encoder's name. That feed belongs to the live preview, which ends it itself: it is neither a
// stray encoder to end at a start nor a recording to wait for before a merge.
bool isPreviewFeed(const QByteArray& folder)
{
    QFile stat(QString::fromLatin1(folder + "/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "PID (comm) STATE PPID ...": comm may hold blanks and parentheses, so count from the last ')'.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 2)
        return false;
    return baseName(QByteArrayLiteral("/proc/") + fields[1]) == "vcamera.exe";
}

} // namespace

std::vector<platform::ProcessEntry> platform::runningProcesses()
{
    std::vector<ProcessEntry> result;
    const uid_t me = getuid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const unsigned long pid = entry.toULong(&numeric);
        if (!numeric)
            continue;
        const QByteArray folder = QByteArrayLiteral("/proc/") + entry.toLatin1();
        struct stat st
        {
        };
        if (stat(folder.constData(), &st) != 0 || st.st_uid != me)
            continue;
        const QByteArray name = baseName(folder);
        if (name.isEmpty() || isPreviewFeed(folder))
            continue;
        ProcessEntry process;
        process.pid = pid;
        process.exeName = QFile::decodeName(name).toStdWString();
        result.push_back(process);
    }
    return result;
}

void platform::killProcessesNamed(const std::wstring& exeName)
{
    const unsigned long self = static_cast<unsigned long>(getpid());
    for (const ProcessEntry& process : runningProcesses()) {
        if (process.pid != self && sameNameIgnoringAsciiCase(process.exeName, exeName))
            ::kill(static_cast<pid_t>(process.pid), SIGTERM);
    }
}

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
        QFile cmdline(QString::fromLatin1(folder + "/cmdline"));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        // argv[0] ends at the first NUL; kernel threads and zombies have none.
        const QByteArray argv0 = cmdline.read(4096).split('\0').value(0);
        if (argv0.isEmpty())
            continue;
        const int slash = argv0.lastIndexOf('/');
        ProcessEntry process;
        process.pid = pid;
        process.exeName = QFile::decodeName(argv0.mid(slash + 1)).toStdWString();
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

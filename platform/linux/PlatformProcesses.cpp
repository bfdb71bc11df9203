#include "PlatformProcesses.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr char kMarkName[] = "REELCAST_STARTED_BY";

QByteArray procFolder(unsigned long pid)
{
    return QByteArrayLiteral("/proc/") + QByteArray::number(qulonglong(pid));
}

QByteArray readProcFile(const QByteArray& folder, const char* name, qint64 limit = 4096)
{
    QFile file(QString::fromLatin1(folder + '/' + name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(limit);
}

// argv[0] of process `folder` (/proc/PID); empty for kernel threads and zombies.
QByteArray argv0(const QByteArray& folder)
{
    return readProcFile(folder, "cmdline").split('\0').value(0);
}

// argv[0]'s base name of process `folder`.
QByteArray baseName(const QByteArray& folder)
{
    const QByteArray first = argv0(folder);
    return first.mid(first.lastIndexOf('/') + 1);
}

// The fields of /proc/PID/stat after the command name: state first, then the parent (index 1) and
// the start time in clock ticks after boot (index 19). The name may hold blanks and parentheses,
// so the fields are counted from the last ')'.
QList<QByteArray> statFields(const QByteArray& folder)
{
    const QByteArray line = readProcFile(folder, "stat");
    const int end = line.lastIndexOf(')');
    if (end < 0)
        return {};
    return line.mid(end + 2).split(' ');
}

// "PID:START": a process and its start time, which tells it from a later process with the same id.
QByteArray identity(unsigned long pid)
{
    const QList<QByteArray> fields = statFields(procFolder(pid));
    if (fields.size() < 20)
        return QByteArray();
    return QByteArray::number(qulonglong(pid)) + ':' + fields[19];
}

// The value of the child mark in the environment of process `folder`; empty when unmarked.
QByteArray childMarkOf(const QByteArray& folder)
{
    const QByteArray prefix = QByteArray(kMarkName) + '=';
    const QList<QByteArray> entries = readProcFile(folder, "environ", 1 << 20).split('\0');
    for (const QByteArray& entry : entries) {
        if (entry.startsWith(prefix))
            return entry.mid(prefix.size());
    }
    return QByteArray();
}

bool markedProcessRuns(const QByteArray& mark)
{
    const int colon = mark.indexOf(':');
    bool numeric = false;
    const unsigned long pid = mark.left(colon).toULong(&numeric);
    return colon > 0 && numeric && pid > 0 && identity(pid) == mark;
}

// The camera preview reads its camera through the encoder program, so its feed runs under the
// encoder's name. That feed belongs to the live preview, which ends it itself: it is neither a
// stray encoder to end at a start nor a recording to wait for before a merge.
bool isPreviewFeed(const QByteArray& folder)
{
    const QList<QByteArray> fields = statFields(folder);
    if (fields.size() < 2)
        return false;
    return baseName(QByteArrayLiteral("/proc/") + fields[1]) == "vcamera.exe";
}

std::vector<unsigned long> ownProcessIds()
{
    std::vector<unsigned long> result;
    const uid_t me = getuid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const unsigned long pid = entry.toULong(&numeric);
        if (!numeric)
            continue;
        struct stat st
        {
        };
        if (stat(procFolder(pid).constData(), &st) == 0 && st.st_uid == me)
            result.push_back(pid);
    }
    return result;
}

} // namespace

std::vector<platform::ProcessEntry> platform::runningProcesses()
{
    std::vector<ProcessEntry> result;
    for (unsigned long pid : ownProcessIds()) {
        const QByteArray folder = procFolder(pid);
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

std::pair<std::string, std::string> platform::childMark()
{
    static const std::string self = identity(static_cast<unsigned long>(getpid())).toStdString();
    return {kMarkName, self};
}

void platform::endOrphanedProcesses(const std::wstring& executablePath)
{
    const QString given = QString::fromStdWString(executablePath);
    const QByteArray path = QFile::encodeName(given);
    const QByteArray canonical = QFile::encodeName(QFileInfo(given).canonicalFilePath());
    if (path.isEmpty())
        return;
    const unsigned long self = static_cast<unsigned long>(getpid());
    for (unsigned long pid : ownProcessIds()) {
        if (pid == self)
            continue;
        const QByteArray folder = procFolder(pid);
        const QByteArray first = argv0(folder);
        const QByteArray exe = QFile::encodeName(QFile::symLinkTarget(QString::fromLatin1(folder + "/exe")));
        const bool copy = (!first.isEmpty() && (first == path || first == canonical)) ||
                          (!canonical.isEmpty() && exe == canonical);
        if (!copy)
            continue;
        const QList<QByteArray> fields = statFields(folder);
        if (fields.size() < 2)
            continue;
        const QByteArray parent = QByteArrayLiteral("/proc/") + fields[1];
        const QByteArray mark = childMarkOf(folder);
        bool orphan = false;
        if (mark.isEmpty()) {
            orphan = fields[1] == "1";
        } else {
            // A child of a marked helper (the encoder's own relay, the preview) has a live parent
            // that carries the same mark; only the top of what a dead program left is ended.
            orphan = !markedProcessRuns(mark) && childMarkOf(parent) != mark;
        }
        if (!orphan)
            continue;
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        ::kill(static_cast<pid_t>(pid), SIGCONT);
    }
}

// The crash-dump program: started by a crashing program as "mindump.exe NAME MAPPING", it reads
// the shared block, writes a text report of the crashed process (its parent) into
// <application data>/crash/<yyyyMMdd-hhmmss>-<pid>.txt and ends, within its own time limit.

#include "CGlobal.h"
#include "CrashBlock.h"
#include "ProcessDump.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Well inside the ten minutes the crashed process waits.
constexpr unsigned timeLimitSeconds = 60;
constexpr std::size_t frameLimit = 256;

volatile sig_atomic_t reportFd = -1;
volatile sig_atomic_t crashedPid = 0;

void onTimeLimit(int)
{
    static const char note[] = "\nReport cut short: the time limit was reached.\n";
    if (reportFd >= 0 && write(reportFd, note, sizeof note - 1) < 0) {
    }
    // A thread left stopped by an interrupted attach must not keep the process from ending.
    if (crashedPid > 0)
        kill(crashedPid, SIGCONT);
    _exit(3);
}

void put(int fd, const std::string& text)
{
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = write(fd, data, left);
        if (n <= 0)
            return;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

std::string hex(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string threadSection(const ProcessDump& dump, pid_t tid, const ThreadStack& stack, bool crashed)
{
    std::string text = "Thread " + std::to_string(tid) + " \"" + dump.threadName(tid) + "\"" +
                       (crashed ? " (crashed)" : "") + "\n";
    if (!stack.error.empty())
        text += "  no stack: " + stack.error + "\n";
    std::size_t repeated = 0;
    for (std::size_t i = 0; i < stack.frames.size(); ++i) {
        const StackFrame& f = stack.frames[i];
        // A runaway recursion would fill the report with one line.
        if (i > 0 && f.pc == stack.frames[i - 1].pc && !f.interrupted) {
            ++repeated;
            continue;
        }
        if (repeated > 0)
            text += "  ... the frame above " + std::to_string(repeated) + " times more\n";
        repeated = 0;
        if (f.interrupted)
            text += "  --- interrupted by the signal ---\n";
        char head[48];
        std::snprintf(head, sizeof head, "  #%-3zu 0x%016llx ", i, static_cast<unsigned long long>(f.pc));
        text += head + f.description + "\n";
    }
    if (repeated > 0)
        text += "  ... the frame above " + std::to_string(repeated) + " times more\n";
    if (stack.cut)
        text += "  ... more frames not shown\n";
    return text + "\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: mindump.exe APPLICATION MAPPING\n");
        return 2;
    }
    // First of all: whatever follows may block, and the crashed process waits for our end.
    signal(SIGALRM, onTimeLimit);
    alarm(timeLimitSeconds);
    const std::string application = argv[1];
    const std::string mapping = argv[2];
    // Symbols come from the files on this machine; nothing is fetched over the network.
    unsetenv("DEBUGINFOD_URLS");

    CrashBlock block;
    if (!readCrashBlock(mapping, block)) {
        std::fprintf(stderr, "mindump: no crash block %s\n", mapping.c_str());
        return 1;
    }
    // Only the process that started us is dumped: a block naming another is not acted on.
    const pid_t pid = getppid();
    if (block.processId == 0 || block.processId != static_cast<std::uint32_t>(pid)) {
        std::fprintf(stderr, "mindump: the crash block names process %u, not %d\n", block.processId,
                     static_cast<int>(pid));
        return 1;
    }
    crashedPid = pid;

    const QString folder = CGlobal::getAppDataPath() + QStringLiteral("crash/");
    QDir().mkpath(folder);
    const QString path = folder + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) +
                         QStringLiteral("-%1.txt").arg(pid);
    // Two threads crashing within a second share the name: the later report is appended.
    const int fd = open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "mindump: cannot write %s\n", QFile::encodeName(path).constData());
        return 1;
    }
    reportFd = fd;
    struct stat st
    {
    };
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        put(fd, "\n========================================\n\n");

    ProcessDump dump(pid);
    std::string error;
    const bool opened = dump.open(error);
    const pid_t crashedThread = static_cast<pid_t>(block.threadId);
    ThreadStack crashedStack;
    CrashSignal crash;
    if (opened) {
        crashedStack = dump.stack(crashedThread, frameLimit);
        crash = dump.readSignal(block.contextLow, crashedStack.stackPointer);
    }

    std::string head = "Crash report of " + application + " " + REELCAST_VERSION + "\n";
    head += "Executable: " + dump.executable() + "\n";
    head += "Process: " + std::to_string(pid) + "\n";
    head += "Time: " +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString() + "\n";
    if (crash.known) {
        head += "Signal: " + signalName(crash.signal) + ", " + signalCodeText(crash.signal, crash.code);
        if (crash.senderPid > 0)
            head += ", from process " + std::to_string(crash.senderPid);
        head += "\n";
        if (crash.code > 0)
            head += "Faulting address: " + hex(crash.faultAddress) + "\n";
        head += "Instruction: " + hex(crash.instruction) + " " +
                (opened ? dump.describe(crash.instruction) : std::string()) + "\n";
    } else {
        head += "Signal: unknown\n";
    }
    head += "Crashing thread: " + std::to_string(crashedThread) + "\n";
    if (!opened)
        head += "The process could not be read: " + error + "\n";
    put(fd, head + "\n");

    if (opened) {
        put(fd, threadSection(dump, crashedThread, crashedStack, true));
        for (pid_t tid : dump.threads()) {
            if (tid != crashedThread)
                put(fd, threadSection(dump, tid, dump.stack(tid, frameLimit), false));
        }
    }
    put(fd, "Memory map\n" + dump.memoryMap());
    reportFd = -1;
    close(fd);
    std::fprintf(stderr, "%s: crash report written to %s\n", application.c_str(),
                 QFile::encodeName(path).constData());
    return 0;
}

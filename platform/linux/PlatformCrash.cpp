#include "PlatformCrash.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// Everything reached from the signal handler is async-signal-safe: no allocation, no locks but
// the handler's own, no stdio; texts are prepared at installation.

namespace {

constexpr int crashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int dumpWaitMs = 600000;
constexpr std::size_t textSize = 4096;
constexpr std::size_t maxArguments = 16;
constexpr char blockFolder[] = "/dev/shm/";

// Set once by installCrashHandler. Each value is kept twice and the copies are compared before
// use, so that memory the crash has overwritten never starts a program from garbage.
struct CrashContext
{
    char dumpProgram[2][textSize];
    char mappingName[2][textSize];
    std::uint32_t processId[2];
    char commandLine[textSize];
};

CrashContext context;
// Serialises crashes on several threads; constant-initialised, so ready before main runs.
std::atomic_flag handOverLock = ATOMIC_FLAG_INIT;
// Threads inside the handler, holding or waiting for the lock.
std::atomic<int> crashingThreads{0};

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free counter");

struct AlternateStack
{
    void* mapping = nullptr;
    std::size_t mappingSize = 0;

    ~AlternateStack()
    {
        if (!mapping)
            return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(mapping, mappingSize);
    }
};

thread_local AlternateStack threadStack;

void sleepMs(long ms)
{
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

long monotonicMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool sameText(const char* a, const char* b)
{
    return std::strncmp(a, b, textSize) == 0;
}

bool contextIntact()
{
    return context.dumpProgram[0][0] != '\0' && sameText(context.dumpProgram[0], context.dumpProgram[1]) &&
           sameText(context.mappingName[0], context.mappingName[1]) &&
           context.processId[0] == context.processId[1];
}

void put32(unsigned char* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

bool writeAll(int fd, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Creates the block file; false when it could not be made (the dump program is started anyway).
bool createBlock(const char* path, void* ucontext)
{
    // A block left behind by a process killed during its hand-over is replaced; another user's
    // file of the same name stays and is not followed.
    unlink(path);
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    unsigned char block[platform::crashBlockSize] = {};
    put32(block, context.processId[0]);
    put32(block + 4, static_cast<std::uint32_t>(syscall(SYS_gettid)));
    put32(block + 8, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(ucontext)));
    const bool written = writeAll(fd, block, sizeof block);
    close(fd);
    if (!written)
        unlink(path);
    return written;
}

// Waits until the write end `fd` is closed by the dump program's end, at most `ms`.
void waitForClose(int fd, long ms)
{
    const long end = monotonicMs() + ms;
    for (;;) {
        const long left = end - monotonicMs();
        if (left <= 0)
            return;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) < 0 && errno == EINTR)
            continue;
        return;
    }
}

void waitForChild(pid_t child, long ms)
{
    const long end = monotonicMs() + ms;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0 && monotonicMs() < end)
        sleepMs(20);
}

// Starts the dump program, lets it trace this process and waits for it, at most 10 minutes.
void runDumpProgram()
{
    const char* program = context.dumpProgram[0];
    if (access(program, X_OK) != 0)
        return;

    // The command line starts with a blank: the program's own name is not part of it.
    char line[textSize];
    std::strncpy(line, context.commandLine, textSize - 1);
    line[textSize - 1] = '\0';
    char* argv[maxArguments + 2] = {};
    std::size_t argc = 0;
    argv[argc++] = const_cast<char*>(program);
    for (char* p = line; *p != '\0' && argc <= maxArguments;) {
        while (*p == ' ')
            *p++ = '\0';
        if (*p == '\0')
            break;
        argv[argc++] = p;
        while (*p != '\0' && *p != ' ')
            ++p;
    }

    // `go` holds the child back until it may trace us; `alive` stays open as long as it runs.
    int go[2] = {-1, -1};
    int alive[2] = {-1, -1};
    const bool haveGo = pipe2(go, O_CLOEXEC) == 0;
    const bool haveAlive = pipe2(alive, O_CLOEXEC) == 0;

    // _Fork runs no fork handlers: the crash may have left any lock of the process held.
    const pid_t child = _Fork();
    if (child == 0) {
        if (haveGo) {
            close(go[1]);
            char c = 0;
            while (read(go[0], &c, 1) < 0 && errno == EINTR) {
            }
        }
        if (haveAlive) {
            close(alive[0]);
            fcntl(alive[1], F_SETFD, 0);
        }
        // The crash signals are blocked in the handler; the dump program starts with none blocked.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(program, argv, environ);
        _exit(127);
    }
    if (child > 0)
        prctl(PR_SET_PTRACER, static_cast<unsigned long>(child), 0, 0, 0);
    if (haveGo) {
        close(go[0]);
        const unsigned char c = 1;
        writeAll(go[1], &c, 1);
        close(go[1]);
    }
    if (child < 0) {
        if (haveAlive) {
            close(alive[0]);
            close(alive[1]);
        }
        return;
    }
    const long start = monotonicMs();
    if (haveAlive) {
        close(alive[1]);
        waitForClose(alive[0], dumpWaitMs);
        close(alive[0]);
    }
    waitForChild(child, dumpWaitMs - (monotonicMs() - start));
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == 0) {
        // Past the limit: a tracer that stays would keep this process from ending.
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
}

void handOver(void* ucontext)
{
    if (!contextIntact())
        return;
    char path[sizeof blockFolder + textSize];
    std::memcpy(path, blockFolder, sizeof blockFolder - 1);
    std::size_t n = sizeof blockFolder - 1;
    for (const char* p = context.mappingName[0]; *p != '\0' && n < sizeof path - 1; ++p)
        path[n++] = *p;
    path[n] = '\0';
    const bool haveBlock = createBlock(path, ucontext);
    runDumpProgram();
    if (haveBlock)
        unlink(path);
}

[[noreturn]] void endWithSignal(int signal)
{
    struct sigaction action
    {
    };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

void crashSignalHandler(int signal, siginfo_t*, void* ucontext)
{
    crashingThreads.fetch_add(1);
    while (handOverLock.test_and_set(std::memory_order_acquire))
        sleepMs(1);
    handOver(ucontext);
    const bool othersWaiting = crashingThreads.fetch_sub(1) > 1;
    handOverLock.clear(std::memory_order_release);
    if (othersWaiting) {
        // The last crashing thread ends the process, once every hand-over is done.
        for (;;)
            pause();
    }
    endWithSignal(signal);
}

// UTF-8 of a wide (UTF-32) text; false when it does not fit.
bool toUtf8(const wchar_t* text, char* out, std::size_t size)
{
    std::size_t n = 0;
    for (; *text != L'\0'; ++text) {
        const auto c = static_cast<std::uint32_t>(*text);
        unsigned char bytes[4];
        std::size_t count = 0;
        if (c < 0x80) {
            bytes[count++] = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            bytes[count++] = static_cast<unsigned char>(0xC0 | (c >> 6));
            bytes[count++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[count++] = static_cast<unsigned char>(0xE0 | (c >> 12));
            bytes[count++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[count++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
            bytes[count++] = static_cast<unsigned char>(0xF0 | (c >> 18));
            bytes[count++] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            bytes[count++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[count++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
        if (n + count >= size)
            return false;
        for (std::size_t i = 0; i < count; ++i)
            out[n++] = static_cast<char>(bytes[i]);
    }
    out[n] = '\0';
    return true;
}

bool formatInto(char* out, const char* format, const char* a, const char* b = "")
{
    const int n = std::snprintf(out, textSize, format, a, b);
    return n > 0 && static_cast<std::size_t>(n) < textSize;
}

// The folder of the running executable, never the working directory: a crash must not start a
// "mindump.exe" of whatever folder the program was started from.
bool executableFolder(char* out)
{
    const ssize_t n = readlink("/proc/self/exe", out, textSize - 1);
    if (n <= 0)
        return false;
    out[n] = '\0';
    char* slash = std::strrchr(out, '/');
    if (!slash)
        return false;
    slash[1] = '\0';
    return true;
}

} // namespace

void platform::installCrashHandler(const wchar_t* applicationName)
{
    char name[textSize];
    char folder[textSize];
    char program[textSize];
    char mapping[textSize];
    char owner[64];
    char commandLine[textSize];
    // One block per user and process: nobody else can take the name first, and two crashing
    // copies never share one.
    std::snprintf(owner, sizeof owner, "%u-%u", static_cast<unsigned>(getuid()),
                  static_cast<unsigned>(getpid()));
    // Without a complete context no program is started: a crash then just ends the process.
    const bool complete = toUtf8(applicationName ? applicationName : L"", name, textSize) &&
                          executableFolder(folder) && formatInto(program, "%s%s", folder, "mindump.exe") &&
                          formatInto(mapping, "Mapping_%sDumpData-%s", name, owner) &&
                          formatInto(commandLine, " %s %s", name, mapping);
    if (complete) {
        for (int i = 0; i < 2; ++i) {
            std::memcpy(context.dumpProgram[i], program, textSize);
            std::memcpy(context.mappingName[i], mapping, textSize);
            context.processId[i] = static_cast<std::uint32_t>(getpid());
        }
        std::memcpy(context.commandLine, commandLine, textSize);
    }

    prepareCrashStack();
    struct sigaction action
    {
    };
    action.sa_sigaction = crashSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A second crash signal on a thread already in the handler ends the process instead of
    // waiting for the lock that thread holds.
    sigemptyset(&action.sa_mask);
    for (int signal : crashSignals)
        sigaddset(&action.sa_mask, signal);
    for (int signal : crashSignals)
        sigaction(signal, &action, nullptr);
}

void platform::prepareCrashStack()
{
    if (threadStack.mapping)
        return;
    const long page = sysconf(_SC_PAGESIZE);
    const long minimum = sysconf(_SC_MINSIGSTKSZ);
    std::size_t size = 64 * 1024;
    if (minimum > 0 && static_cast<std::size_t>(minimum) * 4 > size)
        size = static_cast<std::size_t>(minimum) * 4;
    // One inaccessible page below the stack, so an overflow of the handler itself faults.
    const std::size_t total = size + static_cast<std::size_t>(page);
    void* mapping =
        mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED)
        return;
    mprotect(mapping, static_cast<std::size_t>(page), PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(mapping) + page;
    stack.ss_size = size;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(mapping, total);
        return;
    }
    threadStack.mapping = mapping;
    threadStack.mappingSize = total;
}

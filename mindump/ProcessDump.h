#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

typedef struct Dwfl Dwfl;

// One stack frame of a thread, with what is known about its code.
struct StackFrame
{
    std::uint64_t pc = 0;
    // The pc is the exact instruction, not a return address (innermost and signal frames).
    bool activation = false;
    // The frame a signal interrupted (it follows the signal trampoline).
    bool interrupted = false;
    std::string description;
};

struct ThreadStack
{
    std::vector<StackFrame> frames;
    bool cut = false;
    std::string error;
    // The stack pointer of the innermost frame; 0 when unknown.
    std::uint64_t stackPointer = 0;
};

// What the signal's ucontext and siginfo in the crashed thread's handler frame tell.
struct CrashSignal
{
    bool known = false;
    int signal = 0;
    int code = 0;
    int senderPid = 0;
    std::uint64_t faultAddress = 0;
    std::uint64_t instruction = 0;
};

// A running process seen through elfutils' libdwfl: its modules from /proc, its threads
// attached one at a time with ptrace for unwinding, and detached again at once.
class ProcessDump
{
public:
    explicit ProcessDump(pid_t pid);
    ~ProcessDump();
    ProcessDump(const ProcessDump&) = delete;
    ProcessDump& operator=(const ProcessDump&) = delete;

    // False, with the reason, when the process cannot be read or attached.
    bool open(std::string& error);

    std::vector<pid_t> threads() const;
    std::string threadName(pid_t tid) const;
    // At most `limit` frames of the thread, innermost first.
    ThreadStack stack(pid_t tid, std::size_t limit);
    // "function + 0xoffset in module (file:line)" for a code address.
    std::string describe(std::uint64_t address) const;
    // Finds the ucontext whose address has the low 32 bits `contextLow` just above the handler's
    // stack pointer and reads the signal it records.
    CrashSignal readSignal(std::uint32_t contextLow, std::uint64_t stackPointer) const;

    std::string executable() const;
    std::string memoryMap() const;

private:
    bool readMemory(std::uint64_t address, void* out, std::size_t size) const;

    pid_t pid_;
    Dwfl* dwfl_ = nullptr;
};

// "SIGSEGV (11)", and the meaning of a signal's code.
std::string signalName(int signal);
std::string signalCodeText(int signal, int code);

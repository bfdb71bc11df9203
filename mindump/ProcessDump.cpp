#include "ProcessDump.h"

#include <elfutils/libdwfl.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/ucontext.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

const Dwfl_Callbacks callbacks = {
    dwfl_linux_proc_find_elf,
    dwfl_standard_find_debuginfo,
    nullptr,
    nullptr,
};

std::string demangled(const char* name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                 std::free);
    return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

std::string baseName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Unwinding
{
    const ProcessDump* dump;
    ThreadStack* stack;
    std::size_t limit;
};

int onFrame(Dwfl_Frame* frame, void* arg)
{
    auto* u = static_cast<Unwinding*>(arg);
    if (u->stack->frames.size() >= u->limit) {
        u->stack->cut = true;
        return DWARF_CB_ABORT;
    }
    Dwarf_Addr pc = 0;
    bool activation = false;
    if (!dwfl_frame_pc(frame, &pc, &activation))
        return DWARF_CB_ABORT;
    if (u->stack->frames.empty()) {
#if defined(__x86_64__)
        Dwarf_Word sp = 0;
        if (dwfl_frame_reg(frame, 7, &sp) == 0)
            u->stack->stackPointer = sp;
#endif
    }
    StackFrame f;
    f.pc = pc;
    f.activation = activation;
    f.interrupted = activation && !u->stack->frames.empty() && u->stack->frames.back().activation;
    // A return address points behind the call; its function is the one before.
    f.description = u->dump->describe(activation ? pc : pc - 1);
    u->stack->frames.push_back(f);
    return DWARF_CB_OK;
}

} // namespace

ProcessDump::ProcessDump(pid_t pid) : pid_(pid) {}

ProcessDump::~ProcessDump()
{
    // Detaches from every thread still attached.
    if (dwfl_)
        dwfl_end(dwfl_);
}

bool ProcessDump::open(std::string& error)
{
    dwfl_ = dwfl_begin(&callbacks);
    if (!dwfl_) {
        error = dwfl_errmsg(-1);
        return false;
    }
    dwfl_report_begin(dwfl_);
    const int reported = dwfl_linux_proc_report(dwfl_, pid_);
    dwfl_report_end(dwfl_, nullptr, nullptr);
    if (reported != 0) {
        error = reported > 0 ? std::strerror(reported) : dwfl_errmsg(-1);
        return false;
    }
    const int attached = dwfl_linux_proc_attach(dwfl_, pid_, false);
    if (attached != 0) {
        error = attached > 0 ? std::strerror(attached) : dwfl_errmsg(-1);
        return false;
    }
    return true;
}

std::vector<pid_t> ProcessDump::threads() const
{
    std::vector<pid_t> result;
    const std::string folder = "/proc/" + std::to_string(pid_) + "/task";
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const long tid = std::strtol(entry->d_name, nullptr, 10);
            if (tid > 0)
                result.push_back(static_cast<pid_t>(tid));
        }
        closedir(dir);
    }
    std::sort(result.begin(), result.end());
    return result;
}

std::string ProcessDump::threadName(pid_t tid) const
{
    std::string name = readFile("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(tid) + "/comm");
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return name;
}

ThreadStack ProcessDump::stack(pid_t tid, std::size_t limit)
{
    ThreadStack result;
    Unwinding u{this, &result, limit};
    // An error at the outermost frame is how many stacks end.
    if (dwfl_getthread_frames(dwfl_, tid, onFrame, &u) == -1 && result.frames.empty())
        result.error = dwfl_errmsg(-1);
    return result;
}

std::string ProcessDump::describe(std::uint64_t address) const
{
    Dwfl_Module* module = dwfl_addrmodule(dwfl_, address);
    if (!module)
        return "??";
    const char* moduleName =
        dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    GElf_Off offset = 0;
    GElf_Sym symbol;
    const char* name = dwfl_module_addrinfo(module, address, &offset, &symbol, nullptr, nullptr, nullptr);
    std::string text;
    if (name) {
        char off[24];
        std::snprintf(off, sizeof off, " + 0x%llx", static_cast<unsigned long long>(offset));
        text = demangled(name) + off;
    } else {
        text = "??";
    }
    text += " in " + baseName(moduleName ? moduleName : "??");
    if (Dwfl_Line* line = dwfl_module_getsrc(module, address)) {
        int lineNumber = 0;
        if (const char* file = dwfl_lineinfo(line, nullptr, &lineNumber, nullptr, nullptr, nullptr))
            text += " (" + std::string(file) + ":" + std::to_string(lineNumber) + ")";
    }
    return text;
}

bool ProcessDump::readMemory(std::uint64_t address, void* out, std::size_t size) const
{
    iovec local{out, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    return process_vm_readv(pid_, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

CrashSignal ProcessDump::readSignal(std::uint32_t contextLow, std::uint64_t stackPointer) const
{
    CrashSignal result;
#if defined(__x86_64__)
    if (stackPointer == 0)
        return result;
    // The handler runs below its signal frame on the same stack, so the ucontext lies just above
    // the handler's stack pointer and shares its upper 32 bits (or is one step of 4 GiB higher).
    std::uint64_t address = (stackPointer & ~std::uint64_t(0xffffffff)) | contextLow;
    if (address < stackPointer)
        address += std::uint64_t(1) << 32;
    if (address - stackPointer > (std::uint64_t(1) << 20))
        return result;
    // The kernel's signal frame: its ucontext (flags, link, stack, machine context, signal mask;
    // 304 bytes on x86-64) is followed by the siginfo.
    constexpr std::size_t kernelContextSize = 304;
    mcontext_t machine{};
    siginfo_t info{};
    if (!readMemory(address + offsetof(ucontext_t, uc_mcontext), &machine.gregs, sizeof machine.gregs) ||
        !readMemory(address + kernelContextSize, &info, sizeof info))
        return result;
    const int known[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
    if (std::find(std::begin(known), std::end(known), info.si_signo) == std::end(known))
        return result;
    result.known = true;
    result.signal = info.si_signo;
    result.code = info.si_code;
    result.instruction = static_cast<std::uint64_t>(machine.gregs[REG_RIP]);
    if (info.si_code > 0 && info.si_code != SI_KERNEL)
        result.faultAddress = reinterpret_cast<std::uint64_t>(info.si_addr);
    else if (info.si_code <= 0)
        result.senderPid = info.si_pid;
#else
    (void)contextLow;
    (void)stackPointer;
#endif
    return result;
}

std::string ProcessDump::executable() const
{
    char path[4096];
    const std::string link = "/proc/" + std::to_string(pid_) + "/exe";
    const ssize_t n = readlink(link.c_str(), path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

std::string ProcessDump::memoryMap() const
{
    return readFile("/proc/" + std::to_string(pid_) + "/maps");
}

std::string signalName(int signal)
{
    const char* name = nullptr;
    switch (signal) {
    case SIGSEGV:
        name = "SIGSEGV";
        break;
    case SIGBUS:
        name = "SIGBUS";
        break;
    case SIGFPE:
        name = "SIGFPE";
        break;
    case SIGILL:
        name = "SIGILL";
        break;
    case SIGABRT:
        name = "SIGABRT";
        break;
    default:
        name = "signal";
    }
    return std::string(name) + " (" + std::to_string(signal) + ")";
}

std::string signalCodeText(int signal, int code)
{
    if (code == SI_USER)
        return "sent by kill";
    if (code == SI_TKILL)
        return "sent by tkill (raise or abort)";
    if (code == SI_KERNEL)
        return "from the kernel";
    struct Meaning
    {
        int signal;
        int code;
        const char* text;
    };
    static const Meaning meanings[] = {
        {SIGSEGV, SEGV_MAPERR, "address not mapped"},
        {SIGSEGV, SEGV_ACCERR, "access not permitted"},
        {SIGBUS, BUS_ADRALN, "misaligned address"},
        {SIGBUS, BUS_ADRERR, "no such physical address"},
        {SIGBUS, BUS_OBJERR, "object-specific hardware error"},
        {SIGFPE, FPE_INTDIV, "integer division by zero"},
        {SIGFPE, FPE_INTOVF, "integer overflow"},
        {SIGFPE, FPE_FLTDIV, "floating-point division by zero"},
        {SIGFPE, FPE_FLTOVF, "floating-point overflow"},
        {SIGFPE, FPE_FLTINV, "invalid floating-point operation"},
        {SIGILL, ILL_ILLOPC, "illegal opcode"},
        {SIGILL, ILL_ILLOPN, "illegal operand"},
        {SIGILL, ILL_PRVOPC, "privileged opcode"},
    };
    for (const Meaning& m : meanings) {
        if (m.signal == signal && m.code == code)
            return m.text;
    }
    return "code " + std::to_string(code);
}

#include "EncoderChild.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile pid_t childPid = -1;

void forward(int signal)
{
    if (childPid > 0)
        kill(childPid, signal);
}

const int kForwarded[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};
// The first descriptor the child's inputs are numbered from, as in "pipe:3".
constexpr int kFirstInput = 3;
// Where inputs are parked before they are renumbered, above anything the child numbers.
constexpr int kParking = 64;

} // namespace

bool EncoderChild::start(const std::string& program, const std::vector<std::string>& argv,
                         const std::vector<int>& inputs)
{
    std::vector<char*> cargv;
    for (const std::string& arg : argv)
        cargv.push_back(const_cast<char*>(arg.c_str()));
    cargv.push_back(nullptr);
    std::vector<int> parked;
    for (int fd : inputs) {
        const int copy = fcntl(fd, F_DUPFD_CLOEXEC, kParking);
        if (copy < 0) {
            for (int p : parked)
                close(p);
            return false;
        }
        parked.push_back(copy);
    }

    struct sigaction action
    {
    };
    action.sa_handler = forward;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kForwarded)
        sigaction(signal, &action, nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec. The parent-death signal comes once for every
        // thread of the dying parent (each one inherits the child in turn), and a second SIGTERM
        // makes FFmpeg abandon its file unfinished. So FFmpeg's parent is this single-threaded
        // relay, which dies with the adapter and passes the forwarded signals and the status on.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(143);
        const pid_t relay = getpid();
        const pid_t encoder = fork();
        if (encoder == 0) {
            struct sigaction plain
            {
            };
            plain.sa_handler = SIG_DFL;
            sigemptyset(&plain.sa_mask);
            for (int signal : kForwarded)
                sigaction(signal, &plain, nullptr);
            sigaction(SIGPIPE, &plain, nullptr);
            // SIGTERM lets FFmpeg close its file as "q" would; the adapter may be gone already.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != relay)
                _exit(143);
            for (size_t i = 0; i < parked.size(); ++i) {
                if (dup2(parked[i], kFirstInput + int(i)) < 0)
                    _exit(127);
            }
            execv(program.c_str(), cargv.data());
            _exit(127);
        }
        if (encoder < 0)
            _exit(127);
        childPid = encoder;
        for (int p : parked)
            close(p);
        int status = 0;
        while (waitpid(encoder, &status, 0) < 0) {
            if (errno != EINTR)
                _exit(127);
        }
        if (WIFSIGNALED(status)) {
            signal(WTERMSIG(status), SIG_DFL);
            raise(WTERMSIG(status));
        }
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
    }
    const int error = errno;
    for (int p : parked)
        close(p);
    if (pid < 0) {
        errno = error;
        return false;
    }
    pid_ = pid;
    childPid = pid;
    return true;
}

bool EncoderChild::finished()
{
    if (reaped_)
        return true;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        reaped_ = true;
        status_ = status;
        childPid = -1;
    }
    return reaped_;
}

int EncoderChild::wait()
{
    while (!reaped_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, 0);
        if (done == pid_) {
            reaped_ = true;
            status_ = status;
            childPid = -1;
        } else if (done < 0 && errno != EINTR) {
            return 127;
        }
    }
    return exitCode(status_);
}

int EncoderChild::exitCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        std::signal(signal, SIG_DFL);
        raise(signal);
        return 128 + signal;
    }
    return 127;
}

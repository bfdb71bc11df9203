#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// FFmpeg run as the adapter's child instead of replacing it, for when the adapter feeds it
// streams of its own. Standard input, output and error are inherited, so "q" and the console
// output pass through as if FFmpeg ran alone; termination signals sent to the adapter are passed
// on, and FFmpeg is told to finish when the adapter dies, however that happens.
class EncoderChild
{
public:
    // Starts `program` with `argv` (argv[0] included); the read end of pipe n becomes the
    // child's descriptor 3 + n. False with errno set when it cannot start.
    bool start(const std::string& program, const std::vector<std::string>& argv,
               const std::vector<int>& inputs);
    // Whether it has ended; reaps it.
    bool finished();
    // Waits for the end and returns the adapter's exit code for it (a child killed by a signal
    // makes the adapter die of the same signal).
    int wait();
    pid_t pid() const { return pid_; }

private:
    int exitCode(int status);

    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

#pragma once

#include <string>
#include <vector>

// Runs a helper program (found on PATH) in the C locale and collects its standard output.
class ChildProcess
{
public:
    struct Result
    {
        bool ran = false; // started and exited with status 0
        std::string output;
    };

    static Result run(const std::vector<std::string>& argv, int timeoutMs = 5000);
};

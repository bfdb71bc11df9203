#pragma once

#include <string>
#include <vector>

// One FFmpeg command line split the way FFmpeg itself reads it: global options, inputs (the
// options in front of each "-i" belong to that input) and the output part after the last input.
class FfmpegCommand
{
public:
    struct Input
    {
        std::vector<std::string> options;
        std::string url;
    };

    static FfmpegCommand parse(const std::vector<std::string>& args);
    std::vector<std::string> arguments() const;

    std::vector<std::string> globals;
    std::vector<Input> inputs;
    std::vector<std::string> outputs;

    // Option lists hold "-name value" pairs and flags side by side; these look at pairs.
    static bool has(const std::vector<std::string>& options, const std::string& name);
    static std::string value(const std::vector<std::string>& options, const std::string& name,
                             const std::string& fallback = std::string());
    static void remove(std::vector<std::string>& options, const std::string& name);
};

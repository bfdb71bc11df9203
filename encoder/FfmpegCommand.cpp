#include "FfmpegCommand.h"

#include <algorithm>

namespace {

// Global options may stand anywhere; they are collected so that inputs can be moved freely.
const char* const kGlobalWithValue[] = {"-filter_complex", "-lavfi", "-loglevel", "-v"};
const char* const kGlobalFlags[] = {"-y", "-n", "-hide_banner", "-nostdin", "-stats", "-nostats"};

template <size_t N> bool oneOf(const std::string& token, const char* const (&names)[N])
{
    return std::find(std::begin(names), std::end(names), token) != std::end(names);
}

} // namespace

FfmpegCommand FfmpegCommand::parse(const std::vector<std::string>& args)
{
    FfmpegCommand command;
    std::vector<std::string> pending;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& token = args[i];
        if (oneOf(token, kGlobalWithValue) && i + 1 < args.size()) {
            command.globals.push_back(token);
            command.globals.push_back(args[++i]);
        } else if (oneOf(token, kGlobalFlags)) {
            command.globals.push_back(token);
        } else if (token == "-i" && i + 1 < args.size()) {
            command.inputs.push_back({pending, args[++i]});
            pending.clear();
        } else {
            pending.push_back(token);
        }
    }
    command.outputs = pending;
    return command;
}

std::vector<std::string> FfmpegCommand::arguments() const
{
    std::vector<std::string> args = globals;
    for (const Input& input : inputs) {
        args.insert(args.end(), input.options.begin(), input.options.end());
        args.push_back("-i");
        args.push_back(input.url);
    }
    args.insert(args.end(), outputs.begin(), outputs.end());
    return args;
}

bool FfmpegCommand::has(const std::vector<std::string>& options, const std::string& name)
{
    return std::find(options.begin(), options.end(), name) != options.end();
}

std::string FfmpegCommand::value(const std::vector<std::string>& options, const std::string& name,
                                 const std::string& fallback)
{
    // FFmpeg takes the last occurrence of a repeated option.
    std::string found = fallback;
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (options[i] == name)
            found = options[++i];
    }
    return found;
}

void FfmpegCommand::remove(std::vector<std::string>& options, const std::string& name)
{
    for (size_t i = 0; i < options.size();) {
        if (options[i] == name)
            options.erase(options.begin() + i, options.begin() + std::min(options.size(), i + 2));
        else
            ++i;
    }
}

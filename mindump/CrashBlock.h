#pragma once

#include <cstdint>
#include <string>

// The block the crashed process shares with the dump program: process id at 0, crashing
// thread id at 4, the low 32 bits of the signal's ucontext address at 8 (little-endian).
struct CrashBlock
{
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    std::uint32_t contextLow = 0;
};

// The block file under /dev/shm named `mappingName`; empty when the name could lead elsewhere.
std::string crashBlockPath(const std::string& mappingName);

// Reads the block shared under `mappingName`; false when it is missing or short, or not a regular
// file of this user's.
bool readCrashBlock(const std::string& mappingName, CrashBlock& block);

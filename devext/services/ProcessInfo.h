// Facts about the running process for the headers of log files.
#pragma once

#include <cstdint>

namespace processinfo {

// Kernel and user time of the process so far, in milliseconds.
void GetCpuTimes(int64_t &kernelMs, int64_t &userMs);
// The process's start as file time (UTC); 0 when it cannot be read.
int64_t GetCreationTime();
// The last-write time of a file as file time (UTC); 0 when it cannot be read.
int64_t GetFileWriteTime(const char *path);

} // namespace processinfo

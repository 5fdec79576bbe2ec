// How much memory this process may still take: the smallest figure that the system, its control
// group and the process's own limits give. Standard library and POSIX only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What one source says of the memory left: a figure, no limit there, or nothing known (a file that
// exists but cannot be read). An unknown source never counts as unlimited.
struct MemoryFigure {
    enum State { bytes, no_limit, unknown } state = unknown;
    std::uint64_t value = 0;  // with bytes

    static MemoryFigure of(std::uint64_t v) { return {bytes, v}; }
    bool operator==(const MemoryFigure& o) const { return state == o.state && (state != bytes || value == o.value); }
};

// Where the figures are read. The roots are those of /proc and /sys, so that tests can feed fake
// trees; system_free answers when meminfo cannot be read (a hidden /proc).
struct MemorySources {
    std::string proc = "/proc";
    std::string sys = "/sys";
    std::optional<std::uint64_t> (*system_free)() = nullptr;  // nullptr: sysinfo(2)
};

// MemAvailable of PROC/meminfo.
MemoryFigure meminfo_available(const std::string& proc);

// sysinfo(2)'s free and buffer memory, which needs no /proc.
std::optional<std::uint64_t> sysinfo_free();

// What the process's control group leaves, and each of its ancestors': cgroup v2 memory.max minus
// memory.current, v1 memory.limit_in_bytes minus memory.usage_in_bytes, the smallest of them.
MemoryFigure cgroup_available(const MemorySources& sources);

// What a resource limit (RLIMIT_AS, RLIMIT_DATA) leaves beyond what the process has taken, by
// field of PROC/self/status ("VmSize:", "VmData:"); the limit itself when that cannot be read.
MemoryFigure limit_available(int resource, const char* field, const std::string& proc);

// The smallest figure of them all; nothing when no source gives one.
std::optional<std::uint64_t> memory_available(const MemorySources& sources = {});

// Bytes as people read them ("19.6 TB"): in the largest unit of 1000 that leaves at least 1, with
// one decimal (none for plain bytes), rounded up or down.
std::string memory_text(std::uint64_t bytes, bool round_up);

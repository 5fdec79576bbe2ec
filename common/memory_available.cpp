#include "common/memory_available.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#ifdef __EMSCRIPTEN__
#include <emscripten/heap.h>
#include <malloc.h>
#endif

#include <algorithm>
#include <cerrno>
#include <limits>
#include <sstream>
#include <vector>

namespace {

enum class Read { ok, missing, unreadable };

// The whole of a small file. A file that is not there is missing; one that is there but cannot be
// read (no permission, a folder, a read error) is unreadable.
Read read_file(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? Read::missing : Read::unreadable;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) text.append(buffer, std::size_t(n));
    }
    close(fd);
    return n < 0 ? Read::unreadable : Read::ok;
}

std::optional<std::uint64_t> whole_number(const std::string& text) {
    std::istringstream in(text);
    std::uint64_t value;
    if (!(in >> value)) return std::nullopt;
    return value;
}

// A value in KB after name in a /proc file of "Name: value kB" lines.
std::optional<std::uint64_t> kilobyte_field(const std::string& text, const std::string& name) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, name.size(), name) != 0) continue;
        const std::optional<std::uint64_t> kb = whole_number(line.substr(name.size()));
        if (!kb || *kb > std::numeric_limits<std::uint64_t>::max() / 1024) return std::nullopt;
        return *kb * 1024;
    }
    return std::nullopt;
}

MemoryFigure smaller(const MemoryFigure& a, const MemoryFigure& b) {
    if (a.state == MemoryFigure::bytes && b.state == MemoryFigure::bytes) return a.value <= b.value ? a : b;
    if (a.state == MemoryFigure::bytes || b.state == MemoryFigure::bytes) return a.state == MemoryFigure::bytes ? a : b;
    return a.state == MemoryFigure::unknown || b.state == MemoryFigure::unknown ? MemoryFigure{} : a;
}

// limit minus usage of one group's folder: no limit where the limit file is missing or says
// "max", unknown where either file is there but cannot be read.
MemoryFigure group_left(const std::string& folder, const char* limit_file, const char* usage_file) {
    std::string limit_text, usage_text;
    const Read limit = read_file(folder + "/" + limit_file, limit_text);
    if (limit == Read::missing) return {MemoryFigure::no_limit};
    if (limit == Read::unreadable) return {};
    if (limit_text.compare(0, 3, "max") == 0) return {MemoryFigure::no_limit};
    const std::optional<std::uint64_t> most = whole_number(limit_text);
    if (!most) return {};
    if (read_file(folder + "/" + usage_file, usage_text) != Read::ok) return {};
    const std::optional<std::uint64_t> used = whole_number(usage_text);
    if (!used) return {};
    return MemoryFigure::of(*most > *used ? *most - *used : 0);
}

// The group at path and every group above it, up to the hierarchy's root at mount.
MemoryFigure groups_left(const std::string& mount, std::string path, const char* limit_file, const char* usage_file) {
    MemoryFigure left{MemoryFigure::no_limit};
    for (;;) {
        left = smaller(left, group_left(mount + path, limit_file, usage_file));
        if (path.empty() || path == "/") return left;
        path.erase(path.rfind('/'));
    }
}

}  // namespace

MemoryFigure meminfo_available(const std::string& proc) {
    std::string text;
    if (read_file(proc + "/meminfo", text) != Read::ok) return {};
    const std::optional<std::uint64_t> available = kilobyte_field(text, "MemAvailable:");
    return available ? MemoryFigure::of(*available) : MemoryFigure{};
}

std::optional<std::uint64_t> sysinfo_free() {
#ifdef __EMSCRIPTEN__
    return std::nullopt;  // WebAssembly has no such call
#else
    struct sysinfo info;
    if (sysinfo(&info) != 0) return std::nullopt;
    std::uint64_t bytes;
    if (__builtin_mul_overflow(std::uint64_t(info.freeram) + info.bufferram, std::uint64_t(info.mem_unit), &bytes)) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return bytes;
#endif
}

MemoryFigure cgroup_available(const MemorySources& sources) {
    std::string text;
    const Read membership = read_file(sources.proc + "/self/cgroup", text);
    if (membership == Read::missing) return {MemoryFigure::no_limit};  // a kernel without control groups
    if (membership == Read::unreadable) return {};
    MemoryFigure left{MemoryFigure::no_limit};
    std::istringstream lines(text);
    std::string line;
    // Each line is ID:CONTROLLERS:PATH; v2's is 0::PATH, v1's memory controller names "memory".
    while (std::getline(lines, line)) {
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string id = line.substr(0, first), controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        if (!path.empty() && path.back() == '/') path.pop_back();
        if (id == "0" && controllers.empty()) {
            left = smaller(left, groups_left(sources.sys + "/fs/cgroup", path, "memory.max", "memory.current"));
        } else {
            std::istringstream names(controllers);
            std::string name;
            while (std::getline(names, name, ',')) {
                if (name != "memory") continue;
                left = smaller(left, groups_left(sources.sys + "/fs/cgroup/memory", path, "memory.limit_in_bytes",
                                                 "memory.usage_in_bytes"));
            }
        }
    }
    return left;
}

MemoryFigure limit_available(int resource, const char* field, const std::string& proc) {
    rlimit limit;
    if (getrlimit(resource, &limit) != 0) return {};
    if (limit.rlim_cur == RLIM_INFINITY) return {MemoryFigure::no_limit};
    std::string status;
    std::optional<std::uint64_t> taken;
    if (read_file(proc + "/self/status", status) == Read::ok) taken = kilobyte_field(status, field);
    const std::uint64_t used = taken.value_or(0);
    return MemoryFigure::of(limit.rlim_cur > used ? limit.rlim_cur - used : 0);
}

std::optional<std::uint64_t> memory_available(const MemorySources& sources) {
#ifdef __EMSCRIPTEN__
    // In a browser the program's memory is its WebAssembly heap, with no /proc or sysinfo to read:
    // what the heap may still grow by, and what it holds free.
    if (sources.proc == MemorySources().proc) {
        const std::uint64_t top = std::uint64_t(reinterpret_cast<std::uintptr_t>(sbrk(0)));
        const std::uint64_t most = emscripten_get_heap_max();
        return (most > top ? most - top : 0) + std::uint64_t(mallinfo().fordblks);
    }
#endif
    MemoryFigure system = meminfo_available(sources.proc);
    if (system.state != MemoryFigure::bytes) {
        if (const auto free = (sources.system_free ? sources.system_free : sysinfo_free)()) system = MemoryFigure::of(*free);
    }
    const MemoryFigure figures[] = {
        system,
        cgroup_available(sources),
        limit_available(RLIMIT_AS, "VmSize:", sources.proc),
        limit_available(RLIMIT_DATA, "VmData:", sources.proc),
    };
    std::optional<std::uint64_t> least;
    for (const MemoryFigure& f : figures) {
        if (f.state == MemoryFigure::bytes) least = std::min(least.value_or(f.value), f.value);
    }
    return least;
}

std::string memory_text(std::uint64_t bytes, bool round_up) {
    static const char* const units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    std::uint64_t scale = 1;  // bytes per unit
    while (unit < 6 && bytes / scale >= 1000) {
        scale *= 1000;
        ++unit;
    }
    if (unit == 0) return std::to_string(bytes) + " bytes";
    const std::uint64_t tenth = scale / 10;
    const std::uint64_t tenths = bytes / tenth + (round_up && bytes % tenth ? 1 : 0);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + units[unit];
}

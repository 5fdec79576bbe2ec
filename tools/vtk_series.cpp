#include "vtk_series.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>

#include "common/standard_streams.h"
#include "vtk_xml.h"

namespace {

constexpr const char* COLLECTION = "smoke.pvd";
constexpr const char* SCENARIO = "scenario.toml";
constexpr const char* PART = ".part";  // the end of every temporary name
// The kernel copies a write into a file page by page and lets a kill in only between pages, so a
// write within one 4096-byte page (a page or a part of one on every Linux) is whole or absent.
constexpr off_t PAGE = 4096;
constexpr std::size_t SHOWN = 200;  // bytes of a path that a message shows

std::string series_file_name(long step, int digits) {
    char name[40];
    std::snprintf(name, sizeof name, "smoke_%0*ld.vti", digits, step);
    return name;
}

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// smoke_ and at least 6 digits, .vti: a step file of this or an earlier run.
bool is_step_file(const std::string& name) {
    const std::size_t digits = name.size() - std::min(name.size(), std::strlen("smoke_.vti"));
    return name.rfind("smoke_", 0) == 0 && ends_with(name, ".vti") && digits >= 6 &&
           std::all_of(name.begin() + 6, name.begin() + 6 + digits, [](char c) { return c >= '0' && c <= '9'; });
}

// A temporary file of a series that a kill left behind: NAME.xxxxxxxx.part, NAME one of the series'.
bool is_leftover(const std::string& name) {
    constexpr std::size_t TAIL = std::char_traits<char>::length(".xxxxxxxx.part");
    if (name.size() <= TAIL || !ends_with(name, PART) || name[name.size() - TAIL] != '.') return false;
    const std::string base = name.substr(0, name.size() - TAIL);
    const auto hex = name.begin() + std::ptrdiff_t(base.size() + 1);
    return std::all_of(hex, hex + 8, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }) &&
           (base == COLLECTION || base == SCENARIO || is_step_file(base));
}

// Writes all of data, through short writes; false with errno set on failure.
bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

// Why a folder cannot be made where a symbolic link leads nowhere (create_directories says only
// "File exists"): the first part of the path that is such a link, and where it leads.
std::optional<std::string> link_to_nowhere(const std::string& folder) {
    std::filesystem::path part;
    for (const std::filesystem::path& name : std::filesystem::path(folder)) {
        part /= name;
        std::error_code ec;
        const std::filesystem::file_status status = std::filesystem::symlink_status(part, ec);
        if (ec || status.type() == std::filesystem::file_type::not_found) return std::nullopt;
        if (status.type() != std::filesystem::file_type::symlink) continue;
        if (std::filesystem::exists(part, ec)) continue;
        const std::filesystem::path target = std::filesystem::read_symlink(part, ec);
        return quoted_argument(part.c_str(), SHOWN) + " is a link to " + quoted_argument(target.c_str(), SHOWN) +
               ", which does not exist";
    }
    return std::nullopt;
}

}  // namespace

VtkSeries::VtkSeries(std::string folder, long last_step)
    : folder(std::move(folder)), digits(std::max<int>(6, int(std::to_string(last_step).size()))) {}

VtkSeries::~VtkSeries() {
    if (collection >= 0) close(collection);
    if (directory) closedir(directory);  // and with it the lock
}

std::string VtkSeries::shown(const std::string& name) const {
    return quoted_argument((folder + "/" + name).c_str(), SHOWN);
}

bool VtkSeries::lock(std::string& error) {
    const std::string shown_folder = quoted_argument(folder.c_str(), SHOWN);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        const std::optional<std::string> nowhere = link_to_nowhere(folder);
        error = "cannot create the folder " + shown_folder + ": " +
                (nowhere ? *nowhere : ec ? ec.message() : "a file of that name is there");
        return false;
    }
    directory = opendir(folder.c_str());
    if (!directory) {
        error = "cannot open the folder " + shown_folder + ": " + std::strerror(errno);
        return false;
    }
    if (flock(dirfd(directory), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? "the folder " + shown_folder + " is in use by another run"
                                     : "cannot lock the folder " + shown_folder + ": " + std::strerror(errno);
        return false;
    }
    // Said here, before anything is removed or written, rather than as the first removal's failure.
    if (faccessat(dirfd(directory), ".", W_OK | X_OK, AT_EACCESS) != 0) {
        error = "cannot write into the folder " + shown_folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool VtkSeries::scenario_is_ours(std::string& error) const {
    const std::string refusal = shown(SCENARIO) + " is not a scenario that smoke-steps wrote for a series there: ";
    const std::string kept = "it is kept, and nothing was written (move it, or choose another folder)";
    // O_NONBLOCK: a FIFO of that name must not hang the run.
    const int fd = openat(dirfd(directory), SCENARIO, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        error = errno == ELOOP ? refusal + "a link; " + kept : "cannot read " + shown(SCENARIO) + ": " + std::strerror(errno);
        return false;
    }
    struct stat file {};
    std::string head(std::strlen(SCENARIO_MARK), '\0');
    std::size_t got = 0;
    const bool regular = fstat(fd, &file) == 0 && S_ISREG(file.st_mode);
    while (regular && got < head.size()) {
        const ssize_t n = read(fd, &head[got], head.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += std::size_t(n);
    }
    close(fd);
    if (regular && got == head.size() && head == SCENARIO_MARK) return true;
    error = refusal + (regular ? "" : "not a file; ") + kept;
    return false;
}

bool VtkSeries::start(const std::string& scenario, std::string& error) {
    if (!directory && !lock(error)) return false;
    if (!scenario_is_ours(error)) return false;
    const std::string shown_folder = quoted_argument(folder.c_str(), SHOWN);
    if (unlinkat(dirfd(directory), COLLECTION, 0) != 0 && errno != ENOENT) {
        error = "cannot remove the earlier run's " + shown(COLLECTION) + ": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        const bool leftover = is_leftover(name);
        if (!leftover && !is_step_file(name)) continue;
        if (unlinkat(dirfd(directory), name.c_str(), 0) != 0 && errno != ENOENT) {
            error = "cannot remove the earlier run's " + shown(name) + ": " + std::strerror(errno);
            return false;
        }
        leftovers_removed += leftover;
        errno = 0;
    }
    if (errno != 0) {
        error = "cannot read the folder " + shown_folder + ": " + std::strerror(errno);
        return false;
    }
    return write_file(SCENARIO, SCENARIO_MARK + scenario, error);
}

bool VtkSeries::write(long step, const std::string& image, std::string& error) {
    const std::string name = series_file_name(step, digits);
    if (!write_file(name, image, error)) return false;
    const std::string entry = collection_entry(step, name);
    entries += entry;
    off_t at = entries_end;
    const off_t size = off_t(entry.size());
    if (at / PAGE != (at + size - 1) / PAGE) at = (at / PAGE + 1) * PAGE;  // spaces fill the page's end
    // Rewriting with room as large as the entries so far keeps the cost per file flat.
    if (collection < 0 || at + size > room_end) return rewrite_collection(std::max<std::size_t>(entries.size(), PAGE), error);
    const ssize_t written = pwrite(collection, entry.data(), entry.size(), at);
    if (written != ssize_t(entry.size())) {
        error = "cannot write " + shown(COLLECTION) + ": " + (written < 0 ? std::strerror(errno) : "a short write");
        return false;
    }
    entries_end = at + size;
    return true;
}

bool VtkSeries::finish(std::string& error) { return collection < 0 || rewrite_collection(0, error); }

bool VtkSeries::rewrite_collection(std::size_t room, std::string& error) {
    std::string text = COLLECTION_HEAD + entries;
    const off_t end = off_t(text.size());
    text.append(room, ' ');
    text += COLLECTION_TAIL;
    int kept = -1;
    if (!put_file(COLLECTION, text, error, room > 0 ? &kept : nullptr)) return false;
    if (collection >= 0) close(collection);
    collection = kept;
    entries_end = end;
    room_end = end + off_t(room);
    return true;
}

bool VtkSeries::write_file(const std::string& name, const std::string& content, std::string& error) {
    return put_file(name, content, error, nullptr);
}

bool VtkSeries::put_file(const std::string& name, const std::string& content, std::string& error, int* keep_open) {
    const int folder_fd = dirfd(directory);
    // O_EXCL refuses any existing name, a planted link included; a random name cannot be planted ahead.
    std::random_device random;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(random()));
        temporary = name + suffix + PART;
        fd = openat(folder_fd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = "cannot write " + shown(name) + ": " + std::strerror(errno);
        return false;
    }
    const bool written = write_all(fd, content.data(), content.size());
    int failure = written ? 0 : errno;
    const bool closing = !keep_open || !written;
    if (closing && close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && renameat(folder_fd, temporary.c_str(), folder_fd, name.c_str()) != 0) failure = errno;
    if (failure != 0) {
        if (!closing) close(fd);
        unlinkat(folder_fd, temporary.c_str(), 0);
        error = "cannot write " + shown(name) + ": " + std::strerror(failure);
        return false;
    }
    if (keep_open) *keep_open = fd;
    return true;
}

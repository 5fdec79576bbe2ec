#include "common/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The read end of a pipe with no writer, or -1. It needs no file, so it opens where /dev/null cannot
// (a sandbox without it, or one where it is not readable).
int pipe_without_writer() {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    close(ends[1]);
    return ends[0];
}

}  // namespace

bool reserve_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // Either takes the lowest free number, which is fd: the lower ones are open by now. The
        // pipe's write end may briefly take a higher standard number, closed again at once.
        int opened = open("/dev/null", O_RDONLY);
        if (opened < 0) opened = pipe_without_writer();
        if (opened == fd) continue;
        if (opened >= 0) close(opened);
        return false;
    }
    return true;
}

bool output_failed(std::FILE* out, const char* program, const char* what) {
    if (!std::ferror(out)) return false;
    std::fprintf(stderr, "%s: cannot write %s: %s\n", program, what, std::strerror(errno));
    return true;
}

std::string quoted_argument(const char* argument, std::size_t longest) {
    std::size_t size = std::strlen(argument);
    const bool cut = size > longest;
    if (cut) {
        size = longest;
        while (size > 0 && (static_cast<unsigned char>(argument[size]) & 0xC0) == 0x80) --size;  // a continuation byte
    }
    std::string quoted = "'";
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(argument[i]);
        if (c == '\\') {
            quoted += "\\\\";
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            quoted += code;
        } else {
            quoted += char(c);
        }
    }
    return quoted + (cut ? "...'" : "'");
}

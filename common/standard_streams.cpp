#include "common/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

void reserve_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open() takes the lowest free number, which is fd: the lower ones are open by now.
        const int opened = open("/dev/null", O_RDONLY);
        if (opened != fd && opened >= 0) close(opened);
    }
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

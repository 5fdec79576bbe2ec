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

std::string quoted_argument(const char* argument) {
    constexpr std::size_t LONGEST = 60;
    const std::string text = argument;
    return "'" + (text.size() <= LONGEST ? text : text.substr(0, LONGEST) + "...") + "'";
}

#include "harness/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <stdexcept>

#include "harness/process.h"

namespace {

// A window may go away between finding and reading it; such an error is the test's to judge, not a
// reason for Xlib to end the test process.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

}  // namespace

VirtualDisplay::VirtualDisplay(const std::vector<std::string>& extra_arguments, bool connect) {
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> fresh(1000, 30999);
    bool started = false;
    for (int attempt = 0; attempt < 8 && !started; ++attempt) started = start(fresh(random), extra_arguments, connect);
    if (!started) throw std::runtime_error("cannot start Xvfb");
}

bool VirtualDisplay::start(int number, const std::vector<std::string>& extra_arguments, bool connect) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    // A named number, not one Xvfb searches for: a searching server takes no lock, and its probes can
    // cut a neighbour's socket. Xvfb writes the number on descriptor 3 once it accepts connections,
    // and gives up when the number is taken.
    std::vector<std::string> argv = {"/usr/bin/Xvfb", ":" + std::to_string(number), "-displayfd", "3", "-screen",
                                     "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"};
    argv.insert(argv.end(), extra_arguments.begin(), extra_arguments.end());
    try {
        pid_ = spawn_tied(argv, {}, {DEV_NULL, DEV_NULL, DEV_NULL}, ready[1]);
    } catch (...) {
        close(ready[0]);
        close(ready[1]);
        throw;
    }
    close(ready[1]);

    std::string reported;
    pollfd p = {ready[0], POLLIN, 0};
    while (reported.find('\n') == std::string::npos && poll(&p, 1, 15000) > 0) {
        char c[16];
        const ssize_t n = read(ready[0], c, sizeof c);
        if (n <= 0) break;
        reported.append(c, static_cast<size_t>(n));
    }
    close(ready[0]);
    const bool running = reported == std::to_string(number) + "\n";
    if (running) {
        name_ = ":" + std::to_string(number);
        XSetErrorHandler(ignore_x_error);
        if (connect) display_ = XOpenDisplay(name_.c_str());
    }
    if (running && (display_ || !connect)) return true;
    stop();
    return false;
}

VirtualDisplay::~VirtualDisplay() {
    if (display_) XCloseDisplay(display_);
    stop();
}

void VirtualDisplay::stop() {
    if (pid_ <= 0) return;  // none started: kill(-1) would signal every process of the user
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::vector<Window> find_windows(Display* display, const std::string& title) {
    std::vector<Window> found;
    Window root_return, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count)) return found;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        char* name = nullptr;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            XFetchName(display, children[i], &name) && name) {
            if (title == name) found.push_back(children[i]);
        }
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
}

Screenshot capture(Display* display, Window window) {
    Screenshot shot;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) return shot;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) return shot;
    shot.w = attributes.width;
    shot.h = attributes.height;
    shot.pixels.reserve(static_cast<size_t>(shot.w) * shot.h);
    for (int y = 0; y < shot.h; ++y) {
        for (int x = 0; x < shot.w; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            // The virtual screen is 24-bit TrueColor: 8 bits each of red, green and blue.
            shot.pixels.push_back({int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff)});
        }
    }
    XDestroyImage(image);
    return shot;
}

void send_delete_window(Display* display, Window window) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

// A private virtual X server for a test, and what the test needs to look at its windows.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <string>
#include <vector>

class VirtualDisplay {
public:
    // Starts Xvfb on a free display number; throws when it cannot.
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return name_; }  // ":N"
    std::string env() const { return "DISPLAY=" + name_; }
    Display* connection() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string name_;
    Display* display_ = nullptr;
};

// Top-level windows whose title is exactly title, mapped ones only.
std::vector<Window> find_windows(Display* display, const std::string& title);

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Screenshot {
    int w = 0, h = 0;
    std::vector<Rgb> pixels;
    Rgb at(int x, int y) const { return pixels[static_cast<size_t>(y) * w + x]; }
};

Screenshot capture(Display* display, Window window);

// Asks the window to close, as a window manager does when the user closes it.
void send_delete_window(Display* display, Window window);

// A private virtual X server for a test, and what the test needs to look at its windows.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <string>
#include <vector>

class VirtualDisplay {
public:
    // Starts Xvfb on a fresh display number, with extra arguments such as {"-extension", "GLX"}, trying
    // another when the number is taken; throws when it cannot. The server ends with the object, or
    // with the test process.
    explicit VirtualDisplay(const std::vector<std::string>& extra_arguments = {});
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return name_; }  // ":N"
    std::string env() const { return "DISPLAY=" + name_; }
    Display* connection() const { return display_; }

private:
    void start(int number, const std::vector<std::string>& extra_arguments);  // sets display_ when it worked
    void stop();
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

// The window's pixels; empty when the window is gone.
Screenshot capture(Display* display, Window window);

// Asks the window to close, as a window manager does when the user closes it.
void send_delete_window(Display* display, Window window);

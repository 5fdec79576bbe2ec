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
    // With connect false the test holds no connection of its own (connection() is null), so that a
    // server started with -reset -terminate ends when its first client leaves.
    explicit VirtualDisplay(const std::vector<std::string>& extra_arguments = {}, bool connect = true);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return name_; }  // ":N"
    std::string env() const { return "DISPLAY=" + name_; }
    Display* connection() const { return display_; }

private:
    // True when the server runs, with display_ set if connect.
    bool start(int number, const std::vector<std::string>& extra_arguments, bool connect);
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

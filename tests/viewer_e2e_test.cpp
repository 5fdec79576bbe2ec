// The real program in a real (virtual) X server: its window, its picture, its mouse and keys.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "harness/process.h"
#include "harness/x_display.h"
#include "scene.h"
#include "viewer/placement.h"

#include <X11/Xutil.h>

namespace {

using namespace std::chrono_literals;

constexpr auto PATIENCE = 20s;  // generous: the CI machine may be busy

std::string reports_of(int steps) {
    return run_process({SMOKE_STEPS, std::to_string(steps)}).out;
}

// The window titled World on the display, once there is one; 0 if none comes.
Window world_window(Display* connection) {
    std::vector<Window> found;
    wait_until([&] { return !(found = find_windows(connection, "World")).empty(); }, PATIENCE);
    return found.size() == 1 ? found[0] : 0;
}

// Presses keys in a window, as one xdotool command.
ProcessResult press(const VirtualDisplay& display, Window window, const std::vector<std::string>& keys) {
    std::vector<std::string> args = {"/usr/bin/xdotool", "windowfocus", "--sync", std::to_string(window), "key", "--delay", "0"};
    args.insert(args.end(), keys.begin(), keys.end());
    return run_process(args, {display.env()});
}

class Viewer : public ::testing::Test {
protected:
    VirtualDisplay display;
    std::unique_ptr<ChildProcess> viewer;
    Window window = 0;

    void SetUp() override {
        viewer = start();
        window = world_window(display.connection());
        ASSERT_NE(window, 0u) << "no window titled World appeared";
        // The first frames are drawn once the timer runs.
        ASSERT_TRUE(wait_for([&](const Screenshot& s) { return first_frame_shows(s); })) << "no frame showed";
    }

    virtual std::vector<std::string> command() const { return {SMOKE_VIEWER}; }
    virtual bool closes_stdout() const { return false; }
    virtual bool first_frame_shows(const Screenshot& s) const {
        return shows_near(s, pixel_of(DEFAULT_CAMERA, 800, 600, {1, 0, 0}), MAGENTA);  // the cube
    }

    std::unique_ptr<ChildProcess> start() {
        return std::make_unique<ChildProcess>(command(), std::vector{display.env()}, closes_stdout());
    }

    Screenshot shot() { return capture(display.connection(), window); }

    bool wait_for(const std::function<bool(const Screenshot&)>& condition) {
        return wait_until([&] { return condition(shot()); }, PATIENCE);
    }

    void xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/xdotool");
        const ProcessResult r = run_process(args, {display.env()});
        ASSERT_EQ(r.status, 0) << r.err;
    }

    void press_keys(const std::string& key, int times) {
        const ProcessResult r = press(display, window, std::vector<std::string>(std::size_t(times), key));
        ASSERT_EQ(r.status, 0) << r.err;
    }

    // Presses a button at one window position and moves to another, where it stays held until
    // release(): the camera follows at the viewer's next tick.
    void drag(int button, Pixel from, Pixel to) {
        const std::string id = std::to_string(window), b = std::to_string(button);
        xdotool({"mousemove", "--window", id, "--sync", std::to_string(from.x), std::to_string(from.y)});
        xdotool({"mousedown", b});
        // An intermediate move, like a hand's, then the end point.
        xdotool({"mousemove", "--window", id, "--sync", std::to_string((from.x + to.x) / 2),
                 std::to_string((from.y + to.y) / 2)});
        xdotool({"mousemove", "--window", id, "--sync", std::to_string(to.x), std::to_string(to.y)});
    }

    void release(int button) { xdotool({"mouseup", std::to_string(button)}); }

    bool reports_arrive(size_t count) {
        return viewer->read_until([&](const std::string& out) { return count_reports(out) >= count; }, PATIENCE);
    }
};

TEST_F(Viewer, OpensTheWorldWindowAt100By100With800By600) {
    const ProcessResult info =
        run_process({"/usr/bin/xwininfo", "-display", display.name(), "-id", std::to_string(window)});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"World\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Absolute upper-left X:  100\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Absolute upper-left Y:  100\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Width: 800\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Height: 600\n"), std::string::npos) << info.out;
}

TEST_F(Viewer, LeftDragOrbitsTheOrangeFaceIntoView) {
    // 100 pixels to the right in 800 turns the eye to azimuth 315, between +x and -y.
    drag(1, {400, 300}, {500, 300});
    CameraPose turned = DEFAULT_CAMERA;
    turned.azimuth = 315;
    EXPECT_TRUE(wait_for([&](const Screenshot& s) {
        return shows_near(s, pixel_of(turned, 800, 600, {0, -1, 0}), ORANGE, 0) &&
               shows_near(s, pixel_of(turned, 800, 600, {1, 0, 0}), MAGENTA, 0);
    }));
    // What a release does is tested on the window's events directly: after a release the toolkit
    // sends no drag events, so nothing seen here could tell.
    release(1);
}

TEST_F(Viewer, AResizedWindowKeepsTheSceneCentred) {
    xdotool({"windowsize", "--sync", std::to_string(window), "600", "800"});
    EXPECT_TRUE(wait_for([&](const Screenshot& s) {
        return s.w == 600 && s.h == 800 && shows_near(s, pixel_of(DEFAULT_CAMERA, 600, 800, {1, 0, 0}), MAGENTA, 0) &&
               shows_near(s, cell_pixel(DEFAULT_CAMERA, 600, 800, 25, 49), smoke_green(0.42f));
    }));
}

TEST_F(Viewer, ClosingTheWindowEndsTheProgramWithStatusZero) {
    send_delete_window(display.connection(), window);
    EXPECT_EQ(viewer->wait_exit(PATIENCE), std::optional<int>(0));
}

TEST_F(Viewer, FStepsAndABurstOf300PrintsEveryReportInOrder) {
    press_keys("f", 1);
    ASSERT_TRUE(reports_arrive(1)) << viewer->out;
    EXPECT_TRUE(wait_for([&](const Screenshot& s) {
        return shows_near(s, cell_pixel(DEFAULT_CAMERA, 800, 600, 25, 49), smoke_green(0.9279537f));
    }));
    // Keys go by key code: Shift makes no difference, and other keys are consumed without a step.
    for (const char* key : {"shift+f", "Escape", "a"}) press_keys(key, 1);
    press_keys("f", 298);
    ASSERT_TRUE(reports_arrive(300));
    EXPECT_EQ(viewer->out, reports_of(300));
    // Still responsive afterwards: q ends it at once with status 1, printing nothing more.
    press_keys("q", 1);
    EXPECT_EQ(viewer->wait_exit(PATIENCE), std::optional<int>(1));
    EXPECT_EQ(viewer->out, reports_of(300));
}

class ViewerWithoutStandardOutput : public Viewer {
protected:
    bool closes_stdout() const override { return true; }

    void expect_it_goes_on_and_says_once_that_reports_are_lost() {
        press_keys("f", 1);
        // Still painting, and still hearing the close button: the X connection did not take descriptor 1.
        EXPECT_TRUE(wait_for([&](const Screenshot& s) {
            return shows_near(s, cell_pixel(DEFAULT_CAMERA, 800, 600, 25, 49), smoke_green(0.9279537f));
        }));
        press_keys("f", 4);
        ASSERT_TRUE(wait_until([&] { return viewer->wait_exit(0.05s) || count_of(viewer->err, "\n") >= 1; }, PATIENCE));
        send_delete_window(display.connection(), window);
        EXPECT_EQ(viewer->wait_exit(PATIENCE), std::optional<int>(1));
        EXPECT_EQ(viewer->err, "smoke-viewer: cannot write to standard output: Bad file descriptor\n");
    }
};

TEST_F(ViewerWithoutStandardOutput, GoesOnAndSaysOnceThatReportsAreLost) {
    expect_it_goes_on_and_says_once_that_reports_are_lost();
}

// As a sandbox may have it: /dev/null cannot be opened (here an empty /dev, in user and mount
// namespaces of the viewer's own), so another descriptor must keep the X connection off number 1.
class ViewerWithoutStandardOutputOrDevNull : public ViewerWithoutStandardOutput {
protected:
    static constexpr const char* HIDE_DEV = "mount -t tmpfs tmpfs /dev && exec \"$0\"";

    void SetUp() override {
        if (run_process({"/usr/bin/unshare", "-r", "-m", "/bin/sh", "-c", HIDE_DEV, "/bin/true"}).status != 0) {
            GTEST_SKIP() << "no user and mount namespaces here (a chroot, or a kernel that forbids them)";
        }
        ViewerWithoutStandardOutput::SetUp();
    }
    std::vector<std::string> command() const override {
        return {"/usr/bin/unshare", "-r", "-m", "/bin/sh", "-c", HIDE_DEV, SMOKE_VIEWER};
    }
};

TEST_F(ViewerWithoutStandardOutputOrDevNull, GoesOnAndSaysOnceThatReportsAreLost) {
    expect_it_goes_on_and_says_once_that_reports_are_lost();
}

// The viewer on another world, first seen from the camera that shows it whole.
class ThreePlaneWorld : public Viewer {
protected:
    static std::vector<std::string> world() {
        return {"--size", "37x23", "--planes", "3", "--source", "5,22,0,1.5", "--source", "30,10,2,0.2", "--report-row", "4"};
    }
    std::vector<std::string> command() const override {
        std::vector<std::string> argv = world();
        argv.insert(argv.begin(), SMOKE_VIEWER);
        return argv;
    }
    bool first_frame_shows(const Screenshot& s) const override { return shows_near(s, cell(5, 22, 0), Rgb{0, 255, 0}); }
    static Pixel cell(int x, int y, int plane) {
        return pixel_of(initial_view(37, 23, 3).camera, 800, 600, cell_point(37, 23, x, y, plane));
    }
};

TEST_F(ThreePlaneWorld, ShowsTheSourcesOfEveryPlaneAndStepsAsSmokeStepsDoes) {
    const Screenshot s = shot();
    EXPECT_TRUE(shows_near(s, cell(30, 10, 2), smoke_green(0.2f)));  // behind the first plane, between its markers
    for (const auto& [x, y] : {std::pair{0, 0}, {36, 0}, {0, 22}, {36, 22}}) {
        EXPECT_TRUE(shows_near(s, cell(x, y, 0), MARKER)) << x << "," << y;
    }
    press_keys("f", 2);
    ASSERT_TRUE(reports_arrive(2)) << viewer->out;
    std::vector<std::string> steps = world();
    steps.insert(steps.begin(), {SMOKE_STEPS, "2"});
    EXPECT_EQ(viewer->out, run_process(steps).out);
}

// Explore mode: the reports and cell lines on standard output, checked against smoke-steps.
class ExploreViewer : public Viewer {
protected:
    std::vector<std::string> command() const override { return {SMOKE_VIEWER, "--explore"}; }

    // A left click that does not move, on a window position. One connection keeps the move and the
    // click in order; --sync would wait for ever when the pointer is there already.
    void click(Pixel at) {
        xdotool({"mousemove", "--window", std::to_string(window), std::to_string(at.x), std::to_string(at.y), "click", "1"});
    }

    bool cell_lines_arrive(size_t count) {
        return viewer->read_until(
            [&](const std::string& out) { return count_of(out, "Cell ") >= count && out.back() == '\n'; }, PATIENCE);
    }

    // What the viewer should print for a cell after some steps, from smoke-steps' probe of it: its
    // last CSV row "step,column,row,plane,smoke,density,velocity,f0,...,f18" as a cell line.
    static std::string probed_line(size_t steps, const std::string& cell) {
        const std::string csv = run_process({SMOKE_STEPS, std::to_string(steps), "--probe", cell}).out;
        const size_t start = csv.rfind('\n', csv.size() - 2) + 1;
        std::istringstream row(csv.substr(start, csv.size() - 1 - start));
        std::vector<std::string> f;
        for (std::string field; std::getline(row, field, ',');) f.push_back(field);
        if (f.size() != 26) return "a probe row of " + std::to_string(f.size()) + " fields: " + csv;
        std::string line = "Cell " + f[1] + "," + f[2] + "," + f[3] + " at step " + f[0] + ": smoke " + f[4] +
                           " density " + f[5] + " velocity " + f[6] + " populations";
        for (size_t i = 7; i < f.size(); ++i) line += " " + f[i];
        return line + "\n";
    }

    // The reports of steps after the first `from`, as smoke-steps prints them.
    static std::string reports_between(size_t from, size_t to) { return reports_of(int(to)).substr(reports_of(int(from)).size()); }
};

TEST_F(ExploreViewer, PlaysPausesAndPrintsTheClickedCellAtItsStep) {
    press_keys("space", 1);
    ASSERT_TRUE(reports_arrive(3)) << viewer->out;
    press_keys("space", 1);
    const Pixel cell = cell_pixel(DEFAULT_CAMERA, 800, 600, 25, 47);  // the smoke reaches it at step 2
    click(cell);
    ASSERT_TRUE(cell_lines_arrive(1)) << viewer->out;
    // Nothing stepped between the pause and the click, nor after it: the line is last, at the step
    // of the last report, and f steps once from there.
    const size_t paused = count_reports(viewer->out);
    const std::string at_pause = reports_of(int(paused)) + probed_line(paused, "25,47,0");
    EXPECT_EQ(viewer->out, at_pause);
    press_keys("f", 1);
    click(cell);
    ASSERT_TRUE(cell_lines_arrive(2)) << viewer->out;
    EXPECT_EQ(viewer->out, at_pause + reports_between(paused, paused + 1) + probed_line(paused + 1, "25,47,0"));
}

TEST_F(ExploreViewer, ResetStartsOverAClickOnAPanelKeepsTheSelectionAndOnEmptySpaceClearsIt) {
    press_keys("f", 2);
    ASSERT_TRUE(reports_arrive(2)) << viewer->out;
    press_keys("r", 1);
    press_keys("f", 1);
    const Pixel cell = cell_pixel(DEFAULT_CAMERA, 800, 600, 24, 49);  // beside the source
    click(cell);
    ASSERT_TRUE(cell_lines_arrive(1)) << viewer->out;
    const std::string before = reports_of(2) + reports_of(1) + probed_line(1, "24,49,0");
    EXPECT_EQ(viewer->out, before);
    // The selected cell's square, six pixels about its point.
    const Rgb white = {255, 255, 255};
    const auto highlighted = [&](const Screenshot& s) { return shows_near(s, {cell.x + 6, cell.y}, white, 1); };
    EXPECT_TRUE(wait_for(highlighted));

    // On the selected cell's panel, a click is not one on the scene: the selection stays.
    click({790, 300});
    press_keys("f", 1);
    ASSERT_TRUE(reports_arrive(4)) << viewer->out;
    EXPECT_EQ(viewer->out, before + reports_between(1, 2));
    EXPECT_TRUE(wait_for([&](const Screenshot& s) { return shows_near(s, {cell.x + 6, cell.y}, white, 1); }));
    // Right of the sheet and below that panel, on black: it clears the selection.
    click({700, 500});
    press_keys("f", 1);
    ASSERT_TRUE(reports_arrive(5)) << viewer->out;
    EXPECT_EQ(viewer->out, before + reports_between(1, 3));
    EXPECT_TRUE(wait_for([&](const Screenshot& s) { return !highlighted(s); }));
}

TEST(ViewerStart, RefusesWhatTheToolkitDoesNotTakeAndHelpsOnRequest) {
    for (const char* help : {"--help", "-h"}) {
        const ProcessResult r = run_process({SMOKE_VIEWER, help});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: smoke-viewer [--explore] [--threads N] [world options] [toolkit options]\n", 0), 0u) << r.out;
        EXPECT_NE(r.out.find(" -g[eometry] WxH+X+Y"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(" --scenario FILE"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("run options:\n  --threads N"), std::string::npos) << r.out;
    }
    // Refused before any display is opened: there is none here. A -name longer than 511 bytes would
    // overflow the toolkit's buffer for the window class, and the toolkit would make -display ''
    // into :0.0.
    const std::string too_long(512, 'n');
    const struct {
        std::vector<std::string> args;
        std::string problem;
    } refusals[] = {
        {{"-foo"}, "'-foo' is not an option of the viewer or of the toolkit"},
        {{"file"}, "'file' is not an option of the viewer or of the toolkit"},
        {{"-geometry"}, "'-geometry' lacks its value"},
        {{"--size", "10", "-geometry", "9x9", "-g", "garbage"}, "'garbage' is not a valid value of '-g'"},
        {{"-NAme", too_long}, "'-NAme' takes a class name of at most 511 bytes, not 512"},
        {{"-display", ""}, "'-display' needs the name of a display, such as :0"},
        {{"--threads", "0"}, "--threads must be a whole number from 1 to 256, not '0'"},
    };
    for (const auto& [args, problem] : refusals) {
        std::vector<std::string> argv = {SMOKE_VIEWER};
        argv.insert(argv.end(), args.begin(), args.end());
        const ProcessResult r = run_process(argv, {"DISPLAY=:nothing"});
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "smoke-viewer: " + problem +
                             "\nusage: smoke-viewer [--explore] [--threads N] [world options] [toolkit options]; 'smoke-viewer --help' lists them\n");
    }
}

TEST(ViewerStart, ADisplayThatCannotBeOpenedIsNamed) {
    const ProcessResult none = run_process({SMOKE_VIEWER}, {"DISPLAY="});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "smoke-viewer: cannot open a display: DISPLAY names none and -display was not given\n");
    const ProcessResult named = run_process({SMOKE_VIEWER, "-display", ":nothing"}, {"DISPLAY=:0"});
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(named.err, "smoke-viewer: cannot open the display :nothing\n");
}

TEST(ViewerStart, AClassNameAtTheLimitShowsTheWindow) {
    VirtualDisplay display;
    ChildProcess viewer({SMOKE_VIEWER, "-name", std::string(511, 'n')}, {display.env()});
    const Window window = world_window(display.connection());
    ASSERT_NE(window, 0u) << viewer.err;
    press(display, window, {"q"});
    EXPECT_EQ(viewer.wait_exit(PATIENCE), std::optional<int>(1)) << viewer.err;
}

TEST(ViewerStart, ADisplayWithoutOpenGLIsAFailure) {
    VirtualDisplay without_gl({"-extension", "GLX"});
    const ProcessResult r = run_process({SMOKE_VIEWER}, {without_gl.env()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "smoke-viewer: the display " + without_gl.name() + " has no usable OpenGL\n");
}

TEST(ViewerStart, AHugeWindowIsBoundedRatherThanCrashingTheRenderer) {
    VirtualDisplay display;
    ChildProcess viewer({SMOKE_VIEWER, "-geometry", "32767x32767"}, {display.env()});
    const Window window = world_window(display.connection());
    ASSERT_NE(window, 0u);
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(display.connection(), window, &a));
    EXPECT_EQ(a.width, MAX_WINDOW_SIDE);
    EXPECT_EQ(a.height, MAX_WINDOW_SIDE);
    // A window manager gets no larger size to offer.
    XSizeHints hints;
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(display.connection(), window, &hints, &supplied));
    EXPECT_TRUE((hints.flags & PMaxSize) && hints.max_width <= MAX_WINDOW_SIDE && hints.max_height <= MAX_WINDOW_SIDE);
    // Another client resizes it on a server without a window manager, where nothing keeps to the
    // hints: the server takes the size, and the viewer asks it back down.
    const ProcessResult resized =
        run_process({"/usr/bin/xdotool", "windowsize", std::to_string(window), "32767", "32767"}, {display.env()});
    ASSERT_EQ(resized.status, 0) << resized.err;
    EXPECT_TRUE(wait_until(
        [&] {
            return XGetWindowAttributes(display.connection(), window, &a) && a.width == MAX_WINDOW_SIDE &&
                   a.height == MAX_WINDOW_SIDE;
        },
        PATIENCE))
        << a.width << " x " << a.height;
    // Still alive after frames at those sizes: q is heard.
    press(display, window, {"q"});
    EXPECT_EQ(viewer.wait_exit(PATIENCE), std::optional<int>(1)) << viewer.err;
}

// A server that resets, here ending, when its last client leaves (as under xvfb-run): the viewer's
// first connection is the toolkit's, so nothing comes between a check of the display and the window.
TEST(ViewerStart, StartsEveryTimeOnAServerThatEndsWhenItsLastClientLeaves) {
    for (int start = 0; start < 10; ++start) {
        VirtualDisplay display({"-reset", "-terminate"}, false);
        ChildProcess viewer({SMOKE_VIEWER}, {display.env()});
        Display* connection = nullptr;
        std::vector<Window> found;
        const bool shown = wait_until(
            [&] {
                if (!connection) connection = XOpenDisplay(display.name().c_str());  // refused while it resets
                return connection && !(found = find_windows(connection, "World")).empty();
            },
            PATIENCE);
        const std::optional<int> status = shown ? (send_delete_window(connection, found[0]), viewer.wait_exit(PATIENCE))
                                                : viewer.wait_exit(1s);
        if (connection) XCloseDisplay(connection);
        ASSERT_TRUE(shown) << "start " << start << ": " << viewer.err;
        EXPECT_EQ(status, std::optional<int>(0)) << "start " << start << ": " << viewer.err;
    }
}

// Under a limit on its address space, as `ulimit -v 1000000` sets it, the viewer refuses a world it
// could not draw, or runs it: never an abort or a crash in the renderer. How large a world fits
// depends on the machine's cores (the renderer's threads), so either answer is right.
TEST(ViewerStart, UnderAnAddressSpaceLimitRefusesOrRunsButNeverDies) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory alone is larger than the limit";
#endif
    VirtualDisplay display;
    for (const std::string size : {"50", "800", "1200"}) {
        ChildProcess viewer({"/bin/sh", "-c", "ulimit -v 1000000 && exec \"$0\" \"$@\"", SMOKE_VIEWER, "--size", size},
                            {display.env()});
        std::vector<Window> found;
        std::optional<int> status;
        ASSERT_TRUE(wait_until(
            [&] {
                status = viewer.wait_exit(0s);
                return status || !(found = find_windows(display.connection(), "World")).empty();
            },
            PATIENCE))
            << size;
        if (status) {
            viewer.read_until([](const std::string&) { return false; }, PATIENCE);  // to the end of its output
            EXPECT_EQ(*status, 2) << size << ": " << viewer.err;
            EXPECT_EQ(viewer.err.rfind("smoke-viewer: the " + size + " x " + size + " x 1 world needs ", 0), 0u)
                << size << ": " << viewer.err;
            continue;
        }
        // It runs: frames are drawn, a step is reported, and closing it ends it well.
        press(display, found[0], {"f"});
        EXPECT_TRUE(viewer.read_until([](const std::string& out) { return count_reports(out) >= 1; }, PATIENCE * 3))
            << size << ": " << viewer.err;
        send_delete_window(display.connection(), found[0]);
        EXPECT_EQ(viewer.wait_exit(PATIENCE), std::optional<int>(0)) << size << ": " << viewer.err;
    }
}

}  // namespace

// A long seeded random stream of mouse, keyboard and timer events against windows of awkward
// sizes: the camera must stay finite and inside its ranges, every event gets its answer, and in
// explore mode a selected cell lies inside the world.
#include <gtest/gtest.h>

#include <FL/Fl.H>

#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <string>

#include "viewer/world_window.h"

namespace {

// What is wrong with the camera, or nothing.
std::string camera_problem(const WorldWindow& window) {
    const CameraPose w = window.camera();
    const bool sound = w.azimuth >= 0 && w.azimuth < 360 && w.elevation >= MIN_ELEVATION && w.elevation <= MAX_ELEVATION &&
                       w.distance >= MIN_DISTANCE && w.distance <= MAX_DISTANCE && std::isfinite(w.target_x) &&
                       std::isfinite(w.target_y);  // the ranges hold no infinity or NaN
    return sound ? "" : "elevation " + std::to_string(w.elevation) + ", azimuth " + std::to_string(w.azimuth) +
                            ", distance " + std::to_string(w.distance) + ", target (" + std::to_string(w.target_x) +
                            ", " + std::to_string(w.target_y) + ")";
}

// In explore mode the pointer stays nearer the window, so that clicks pick cells, and the play and
// reset keys come up often: every tick of a playing world steps it.
void fuzz(bool explore, long events) {
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{0, 0}, {1, 1}, {10000, 1}, {1, 10000}, {800, 600}, {0, 600}, {3, 0}};
    // Reports of the f presses go nowhere: only the camera is under test here.
    std::FILE* const saved = stdout;
    stdout = std::fopen("/dev/null", "w");

    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> coordinate(explore ? -100 : -100000, explore ? 900 : 100000);
    std::uniform_int_distribution<int> button(0, 5), pick(0, 99);
    std::uniform_int_distribution<int> key_code(0, 0xffff), size_index(0, std::size(sizes) - 1);
    const World world;
    WorldWindow window(0, 0, 800, 600, "World", world, explore);
    const int base_result_for_move = Fl_Gl_Window(0, 0, 1, 1).handle(FL_MOVE);

    // The first wrong answer or camera; the test's own output is silenced until the loop ends.
    std::string problem;
    const auto expect_result = [&](const char* what, int result, int expected) {
        if (result != expected && problem.empty()) {
            problem = std::string(what) + " returned " + std::to_string(result);
        }
    };
    long event = 0;
    for (; event < events && problem.empty(); ++event) {
        const int p = pick(random);
        if (p < 1) {
            const Size s = sizes[size_index(random)];
            window.size(s.w, s.h);
            if (explore) window.set_camera(DEFAULT_CAMERA);  // back to where the sheet fills the window
            continue;
        }
        if (p < 15) {
            Fl::e_keysym = FL_Button + button(random);
            Fl::e_x = coordinate(random);
            Fl::e_y = coordinate(random);
            expect_result("push", window.handle(FL_PUSH), 1);
        } else if (p < 55) {
            Fl::e_x = coordinate(random);
            Fl::e_y = coordinate(random);
            expect_result("drag", window.handle(FL_DRAG), 1);
        } else if (p < 65) {
            expect_result("release", window.handle(FL_RELEASE), 1);
            expect_result("dragging after release", window.dragging(), false);
        } else if (p < 75) {
            int code = key_code(random);
            if (code == 'q') code = 'f';  // q would end the test process
            // Keep the steps rare: they print and are tested elsewhere.
            if (code == 'f' && pick(random) != 0) code = 'g';
            if (explore && pick(random) < 20) code = pick(random) < 80 ? ' ' : 'r';
            Fl::e_keysym = code;
            expect_result("key", window.handle(FL_KEYBOARD), 1);
        } else if (p < 77) {
            expect_result("move", window.handle(FL_MOVE), base_result_for_move);
        } else {
            window.tick();
        }
        if (problem.empty()) problem = camera_problem(window);
        if (const std::optional<Place> c = window.explorer().selected(); problem.empty() && c) {
            if (c->column < 0 || c->row < 0 || c->plane < 0 || c->column >= world.columns || c->row >= world.rows ||
                c->plane >= world.planes) {
                problem = "selected a cell outside the world";
            }
        }
    }

    std::fclose(stdout);
    stdout = saved;
    EXPECT_EQ(problem, "") << "at event " << event - 1 << " of " << events << ", window " << window.w() << " x "
                           << window.h() << (window.dragging() ? ", dragging" : "");
}

TEST(WindowFuzz, RandomEventsKeepTheCameraSound) { fuzz(false, 200000); }

TEST(WindowFuzz, RandomEventsKeepExploreModeSound) { fuzz(true, 20000); }

}  // namespace

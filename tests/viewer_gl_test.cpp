// The window's drawing in a real OpenGL context on a private virtual display, in this process.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/gl.h>

#include <cmath>
#include <memory>

#include "harness/process.h"
#include "scene.h"
#include "viewer/world_window.h"
#include "harness/x_display.h"

namespace {

using namespace std::chrono_literals;

// Lets a test give the window a size the X server would refuse, such as 0 x 0.
class TestWindow : public WorldWindow {
public:
    using WorldWindow::WorldWindow;
    void set_size_only(int w, int h) {
        Fl_Widget::w(w);
        Fl_Widget::h(h);
    }
};

class Drawing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        display = std::make_unique<VirtualDisplay>();
        Fl::display(display->name().c_str());
    }

    // Stopped cleanly: a server killed by the parent-death signal leaves its lock file behind.
    static void TearDownTestSuite() { display.reset(); }

    void SetUp() override {
        window = std::make_unique<TestWindow>(100, 100, 800, 600, "World");
        window->show();
        ASSERT_TRUE(wait_until(
            [&] {
                Fl::wait(0.01);
                return window->shown() && window->visible();
            },
            20s));
        window->make_current();
    }

    // Draws one frame into the back buffer and reads it back.
    Screenshot frame() {
        window->draw();
        glFinish();
        Screenshot shot;
        shot.w = window->w();
        shot.h = window->h();
        std::vector<unsigned char> rgb(static_cast<size_t>(shot.w) * shot.h * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, shot.w, shot.h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        for (int y = shot.h - 1; y >= 0; --y) {  // OpenGL's rows run bottom-up
            for (int x = 0; x < shot.w; ++x) {
                const unsigned char* p = &rgb[(static_cast<size_t>(y) * shot.w + x) * 3];
                shot.pixels.push_back({p[0], p[1], p[2]});
            }
        }
        return shot;
    }

    Cell& cell(int x, int y) { return *window->lattice->planes[0]->cell(x, y); }

    static std::unique_ptr<VirtualDisplay> display;
    std::unique_ptr<TestWindow> window;
};

std::unique_ptr<VirtualDisplay> Drawing::display;

// Pixels within one of p that are not background.
int lit_pixels_near(const Screenshot& s, Pixel p) {
    int n = 0;
    for (int y = p.y - 1; y <= p.y + 1; ++y)
        for (int x = p.x - 1; x <= p.x + 1; ++x) n += !(s.at(x, y) == BLACK);
    return n;
}

TEST_F(Drawing, OnlyPositiveSmokeShowsAGreenPointOtherwiseTheMarker) {
    cell(10, 20).smoke = 0.5f;
    cell(11, 20).smoke = 0.0f;
    cell(12, 20).smoke = -0.5f;
    cell(13, 20).smoke = NAN;
    cell(14, 20).smoke = 5.0f;
    const Screenshot s = frame();
    const auto where = [](int x) { return cell_pixel(DEFAULT_CAMERA, 800, 600, x, 20); };
    EXPECT_TRUE(shows_near(s, where(10), smoke_green(0.5f)));
    EXPECT_EQ(lit_pixels_near(s, where(10)), 9);  // the 3-pixel point; its marker fails the depth test
    EXPECT_FALSE(shows_near(s, where(10), MARKER));
    for (int x : {11, 12, 13}) {
        EXPECT_TRUE(shows_near(s, where(x), MARKER)) << x;
        EXPECT_EQ(lit_pixels_near(s, where(x)), 1) << x;  // the marker alone
    }
    EXPECT_TRUE(shows_near(s, where(14), Rgb{0, 255, 0}));  // saturated
}

TEST_F(Drawing, ContextSetupFollowsTheWindowSize) {
    window->set_size_only(600, 800);
    window->invalidate();
    frame();
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 600);
    EXPECT_EQ(viewport[3], 800);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    // gluPerspective: [1][1] = cot(fovy / 2), [0][0] = cot(fovy / 2) / aspect.
    const double fovy = 2 * std::atan(1 / projection[5]) * 180 / PI;
    EXPECT_NEAR(fovy, 57.8224, 1e-3);
    EXPECT_NEAR(projection[5] / projection[0], 0.75, 1e-6);
    window->set_size_only(800, 600);
    window->invalidate();
}

TEST_F(Drawing, AWindowWithoutSizeDrawsWithoutError) {
    while (glGetError() != GL_NO_ERROR) {
    }
    for (const auto& [w, h] : {std::pair{0, 0}, {0, 600}, {800, 0}}) {
        window->set_size_only(w, h);
        window->invalidate();
        window->draw();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << w << " x " << h;
    }
    window->set_size_only(800, 600);
    window->invalidate();
}

TEST_F(Drawing, TheSteepestElevationStillDrawsTheCube) {
    window->elevation = MAX_ELEVATION;
    const Screenshot s = frame();
    // Looking almost straight down at the pivot, the red top face z = +1 is in the middle.
    EXPECT_TRUE(near(s.at(400, 300), lit(1, 0, 0)));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace

// The window's drawing in a real OpenGL context on a private virtual display, in this process.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <memory>

#include "harness/process.h"
#include "harness/x_display.h"
#include "scene.h"
#include "viewer/world_window.h"
#include "testing.h"

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

    void SetUp() override { open(World()); }

    void open(const World& world, bool explore = false) {
        window = std::make_unique<TestWindow>(100, 100, 800, 600, "World", world, explore);
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
        return read_back();
    }

    Screenshot read_back() {
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

    Cell& cell(int x, int y) { return *window->explorer().lattice().planes[0]->cell(x, y); }
    // Selects the cell, as a click on it would, without its line in the test's output.
    void select(const Place& place) {
        testing::internal::CaptureStdout();
        window->explorer().select(place);
        testing::internal::GetCapturedStdout();
    }

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

// The frame as the viewer drew it with a glBegin and glEnd for every cell, and the depth range 1 to
// 1000 for every world: the yardstick for the running system's frames, which must not change by a
// pixel.
void draw_point_by_point(const Lattice& lattice, const CameraPose& camera, int w, int h) {
    glClearColor(0, 0, 0, 1);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fovy_degrees(w, h), aspect_ratio(w, h), 1, 1000);
    const GLfloat diffuse[] = {1, 1, 1, 1}, specular[] = {0, 0, 0, 1}, light_position[] = {1, 1, 1, 0};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const Point eye = eye_position(camera);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, camera.target_x, camera.target_y, PIVOT_Z, 0, 0, 1);
    glLightfv(GL_LIGHT0, GL_POSITION, light_position);

    const GLfloat cube[6][7][3] = {
        {{0, 1, 0}, {1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}},
        {{1, 0.5f, 0}, {1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}},
        {{1, 0, 0}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}},
        {{1, 1, 0}, {1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
        {{0, 0, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}, {-1, -1, 1}},
        {{1, 0, 1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}, {1, -1, -1}},
    };
    glBegin(GL_QUADS);
    for (const auto& face : cube) {
        glColor3f(face[0][0], face[0][1], face[0][2]);
        for (int corner = 1; corner <= 4; ++corner) glVertex3f(face[corner][0], face[corner][1], face[corner][2]);
    }
    glEnd();

    glPushMatrix();
    glRotatef(180, 0, 0, 1);
    GLfloat size = 0;
    const auto point = [&](GLfloat point_size, GLfloat r, GLfloat g, GLfloat b, GLfloat y, GLfloat z) {
        if (point_size != size) glPointSize(size = point_size);
        glBegin(GL_POINTS);
        glColor3f(r, g, b);
        glVertex3f(0, y, z);
        glEnd();
    };
    for (const auto& plane : lattice.planes) {
        glTranslatef(1, 0, 0);
        GLfloat row = -plane->rows / 2;
        for (int y = 0; y < plane->rows; ++y, row += 1) {
            GLfloat column = -plane->columns / 2;
            for (int x = 0; x < plane->columns; ++x, column += 1) {
                const Cell& cell = *plane->cell(x, y);
                bool edge = false;
                for (const Link& link : cell.links) edge = edge || !link.neighbour;
                if (cell.smoke > 0) {
                    point(3, 0, cell.smoke, 0, column, row);
                } else if (edge) {
                    point(1, 0.1f, 0.6f, 1.0f, column, row);
                }
            }
        }
    }
    glPopMatrix();
}

TEST_F(Drawing, FramesMatchThePointByPointDrawingPixelForPixel) {
    const World three_planes = world_of(37, 23, 3, {{5, 22, 0, 1.5f}, {30, 10, 2, 0.2f}}, 4);
    // Head on from afar the points of a plane overlap at equal depth, where the order of drawing decides.
    const CameraPose poses[] = {DEFAULT_CAMERA, {30, 315, 100, 0, 0}, {0, 0, 700, 0, 0}, {-5, 40, 20, 10, -10}};
    for (const World& world : {World(), three_planes}) {
        ASSERT_NO_FATAL_FAILURE(open(world));
        for (const int steps : {0, 60}) {
            for (int i = 0; i < steps; ++i) window->explorer().lattice().advance();  // smoke about the sources
            for (const CameraPose& pose : poses) {
                window->set_camera(pose);
                window->invalidate();
                const Screenshot drawn = frame();
                draw_point_by_point(window->explorer().lattice(), pose, 800, 600);
                const Screenshot expected = read_back();
                int differing = 0;
                for (std::size_t i = 0; i < drawn.pixels.size(); ++i) differing += !(drawn.pixels[i] == expected.pixels[i]);
                EXPECT_EQ(differing, 0) << world.columns << " columns, " << steps << " steps, azimuth " << pose.azimuth
                                        << ", distance " << pose.distance;
            }
        }
    }
}

TEST_F(Drawing, TheOverlayLeavesTheSheetAsItWasAndShowsTheLongestFiguresWhole) {
    // The same world, plain and explored.
    const auto prepare = [&] {
        for (int i = 0; i < 60; ++i) window->explorer().lattice().advance();  // smoke over most of the sheet
        // The selected cell's panel at its widest: figures of 15 characters.
        for (Link& link : cell(0, 0).links) link.population = -0.000108385764f;
        while (glGetError() != GL_NO_ERROR) {
        }
    };
    prepare();
    const Screenshot plain = frame();
    open(World(), true);
    prepare();
    select({0, 0, 0});
    const Screenshot explored = frame();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    const Pixel highlight = cell_pixel(DEFAULT_CAMERA, 800, 600, 0, 0);
    int differing = 0, changed_elsewhere = 0, text_at_right_edge = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const bool differs = !(plain.at(x, y) == explored.at(x, y));
            if (std::abs(x - highlight.x) <= 7 && std::abs(y - highlight.y) <= 7) continue;  // its square
            if (x >= 160 && x < 640 && y >= 80 && y < 570) {
                differing += differs;
            } else {
                changed_elsewhere += differs;
            }
            text_at_right_edge += x >= 796 && explored.at(x, y) == Rgb{255, 255, 255};
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(changed_elsewhere, 1000);  // the figures, the legend, the selected cell and the keys
    EXPECT_EQ(text_at_right_edge, 0);  // the panel's margin: no figure runs off the window
}

TEST_F(Drawing, AWindowWithoutSizeDrawsWithoutErrorOverlayIncluded) {
    open(World(), true);
    select({25, 49, 0});
    while (glGetError() != GL_NO_ERROR) {
    }
    for (const auto& [w, h] : {std::pair{0, 0}, {0, 600}, {800, 0}}) {
        window->set_size_only(w, h);
        window->invalidate();
        window->draw();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << w << " x " << h;
    }
}

// The plain viewer repaints at every tick, as it always has; an explore window once drawn asks for
// no repaint while nothing changes, and for one after an event or while it plays.
TEST_F(Drawing, AnIdleExploreWindowAsksForNoRepaint) {
    EXPECT_TRUE(window->tick());
    frame();
    EXPECT_TRUE(window->tick());

    open(World(), true);
    EXPECT_TRUE(window->tick()) << "nothing drawn yet";
    frame();
    EXPECT_FALSE(window->tick());
    EXPECT_FALSE(window->tick());
    window->handle(FL_PUSH);  // a press may start a drag or a pick
    EXPECT_TRUE(window->tick());
    window->handle(FL_RELEASE);
    frame();
    EXPECT_FALSE(window->tick());
    Fl::e_keysym = ' ';  // space: play
    window->handle(FL_KEYBOARD);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(window->tick()) << i;
        frame();
    }
    window->handle(FL_KEYBOARD);  // space again: pause
    EXPECT_TRUE(window->tick()) << "the frame drawn while playing is not the paused one";
    frame();
    EXPECT_FALSE(window->tick());
}

TEST_F(Drawing, TheLegendShowsThePointsColoursAsTheyAreDrawn) {
    // The points themselves, drawn in the same frame.
    open(World(), true);
    cell(10, 20).smoke = 0.5f;
    cell(14, 20).smoke = 1.0f;
    const Screenshot s = frame();
    const auto point = [&](int x, int y) {
        const Pixel p = cell_pixel(DEFAULT_CAMERA, 800, 600, x, y);
        return s.at(p.x, p.y);
    };
    const auto close = [](const Rgb& a, const Rgb& b) {
        return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2;
    };
    // The bar is the legend's first rows of full green; its ticks at smoke 0 and 1 hang below it.
    int top = -1, bottom = -1;
    for (int y = 90; y < 300 && (top < 0 || bottom == y - 1); ++y)
        for (int x = 0; x < 150; ++x)
            if (s.at(x, y) == Rgb{0, 255, 0}) {
                if (top < 0) top = y;
                bottom = y;
                break;
            }
    ASSERT_GE(top, 0);
    std::vector<int> ticks;
    for (int x = 0; x < 150; ++x)
        if (s.at(x, bottom + 1) == Rgb{255, 255, 255}) ticks.push_back(x);
    ASSERT_EQ(ticks.size(), 2u);
    const int middle = (top + bottom) / 2;
    EXPECT_TRUE(close(s.at(ticks[0], middle), BLACK));
    EXPECT_TRUE(close(s.at((ticks[0] + ticks[1]) / 2, middle), point(10, 20)));
    EXPECT_TRUE(close(s.at(ticks[1], middle), point(14, 20))) << s.at(ticks[1], middle).g << " " << point(14, 20).g;
    // The marker's swatch, in the colour of the marker at the sheet's corner.
    int swatch = 0;
    for (int y = bottom; y < 300; ++y)
        for (int x = 0; x < 150; ++x) swatch += s.at(x, y) == point(0, 0);
    EXPECT_GE(swatch, 25) << "marker " << point(0, 0).r << "," << point(0, 0).g << "," << point(0, 0).b;
}

}  // namespace

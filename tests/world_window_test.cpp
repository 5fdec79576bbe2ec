// The window's event handling, driven through the toolkit's event state without a display.
#include <gtest/gtest.h>

#include <FL/Fl.H>

#include <cmath>
#include <string>

#include "viewer/world_window.h"

namespace {

class WindowEvents : public ::testing::Test {
protected:
    WorldWindow window{100, 100, 800, 600, "World"};

    int press(int button, int x, int y) {
        Fl::e_keysym = FL_Button + button;
        Fl::e_x = x;
        Fl::e_y = y;
        return window.handle(FL_PUSH);
    }
    int drag(int x, int y) {
        Fl::e_x = x;
        Fl::e_y = y;
        return window.handle(FL_DRAG);
    }
    int key(int code) {
        Fl::e_keysym = code;
        return window.handle(FL_KEYBOARD);
    }
    void expect_camera(const CameraPose& c) {
        EXPECT_EQ(window.elevation, c.elevation);
        EXPECT_EQ(window.azimuth, c.azimuth);
        EXPECT_EQ(window.distance, c.distance);
        EXPECT_EQ(window.target_x, c.target_x);
        EXPECT_EQ(window.target_y, c.target_y);
    }
};

TEST_F(WindowEvents, StartsAtTheDefaultCameraWithASeededLattice) {
    EXPECT_STREQ(window.label(), "World");
    EXPECT_EQ(window.w(), 800);
    EXPECT_EQ(window.h(), 600);
    EXPECT_EQ(window.drag_button, -1);
    expect_camera(DEFAULT_CAMERA);
    EXPECT_EQ(window.near_plane, 1.0);
    EXPECT_EQ(window.far_plane, 1000.0);
    EXPECT_EQ(window.lattice->tau, 0.56f);
    EXPECT_EQ(window.lattice->planes[0]->cell(25, 49)->smoke, 0.42f);
    EXPECT_EQ(window.lattice->planes[0]->cell(25, 49)->links[0].population, -0.06999999f);
}

TEST_F(WindowEvents, TicksWithoutADragLeaveTheCameraAlone) {
    for (int i = 0; i < 10; ++i) window.tick(0.025f);
    expect_camera(DEFAULT_CAMERA);
    EXPECT_EQ(window.lattice->planes[0]->cell(25, 49)->smoke, 0.42f);  // nothing reseeds or steps
}

TEST_F(WindowEvents, ADragMovesTheCameraOnlyAtTheNextTick) {
    EXPECT_EQ(press(FL_LEFT_MOUSE, 400, 300), 1);
    EXPECT_EQ(window.drag_button, FL_LEFT_MOUSE);
    EXPECT_EQ(window.press_x, 400);
    EXPECT_EQ(window.mouse_y, 300);
    EXPECT_EQ(drag(500, 300), 1);
    EXPECT_EQ(window.mouse_x, 500);
    expect_camera(DEFAULT_CAMERA);
    window.tick(0.025f);
    EXPECT_EQ(window.azimuth, 315.0f);
    window.tick(0.025f);  // the camera depends on the pointer, not on the number of ticks
    EXPECT_EQ(window.azimuth, 315.0f);

    EXPECT_EQ(window.handle(FL_RELEASE), 1);
    EXPECT_EQ(window.drag_button, -1);
    drag(700, 100);
    window.tick(0.025f);
    EXPECT_EQ(window.azimuth, 315.0f);
    EXPECT_EQ(window.elevation, 0.0f);
}

TEST_F(WindowEvents, ASecondPressRestartsTheDragFromTheCurrentCamera) {
    press(FL_LEFT_MOUSE, 400, 300);
    drag(500, 300);
    window.tick(0.025f);
    press(FL_MIDDLE_MOUSE, 500, 300);  // without a release
    EXPECT_EQ(window.press_azimuth, 315.0f);
    EXPECT_EQ(window.press_x, 500);
    drag(500, -300);  // up by the window's height
    window.tick(0.025f);
    EXPECT_EQ(window.azimuth, 315.0f);
    EXPECT_EQ(window.distance, 50.0f);

    press(FL_RIGHT_MOUSE, 0, 0);
    drag(-400, 0);  // the pointer may leave the window during a drag
    window.tick(0.025f);
    const CameraPose expected = pan({0, 315, 50, 0, 0}, 315, {400, 0, 800, 600});
    expect_camera(expected);
    window.handle(FL_RELEASE);
    EXPECT_EQ(window.drag_button, -1);
}

TEST_F(WindowEvents, OtherButtonsAndAReleaseWithoutAPressChangeNothing) {
    EXPECT_EQ(window.handle(FL_RELEASE), 1);
    EXPECT_EQ(window.drag_button, -1);
    press(4, 10, 10);
    drag(300, 400);
    window.tick(0.025f);
    expect_camera(DEFAULT_CAMERA);
}

TEST_F(WindowEvents, FStepsAndPrintsAReportOtherKeysAreConsumed) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(key('f'), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Lattice 0: 0.000000 / 0.000000\n", 0), 0u);
    EXPECT_EQ(out.size(), 10 * 31 + 1u);
    EXPECT_EQ(window.lattice->planes[0]->cell(25, 49)->smoke, 0.9279537f);

    testing::internal::CaptureStdout();
    for (int code : {int('F'), int('a'), int('x'), int(' '), FL_Escape, FL_Enter, FL_Shift_L, FL_F + 1, FL_Left}) {
        EXPECT_EQ(key(code), 1) << code;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(window.lattice->planes[0]->cell(25, 49)->smoke, 0.9279537f);
}

TEST_F(WindowEvents, QExitsWithStatusOneAndPrintsNothing) {
    EXPECT_EXIT(key('q'), testing::ExitedWithCode(1), "^$");
}

TEST_F(WindowEvents, OtherEventsGoToTheToolkit) {
    EXPECT_EQ(window.handle(FL_MOVE), Fl_Gl_Window(0, 0, 1, 1).handle(FL_MOVE));
    expect_camera(DEFAULT_CAMERA);
}

TEST(WindowWithoutSize, CameraStaysFiniteThroughAnyDrag) {
    for (const auto& [w, h] : {std::pair{0, 0}, {0, 600}, {800, 0}}) {
        WorldWindow window(0, 0, w, h, "World");
        for (int button : {FL_LEFT_MOUSE, FL_MIDDLE_MOUSE, FL_RIGHT_MOUSE}) {
            Fl::e_keysym = FL_Button + button;
            Fl::e_x = 0;
            Fl::e_y = 0;
            window.handle(FL_PUSH);
            Fl::e_x = 12345;
            Fl::e_y = -777;
            window.handle(FL_DRAG);
            window.tick(0.025f);
            EXPECT_TRUE(std::isfinite(window.azimuth) && std::isfinite(window.elevation) &&
                        std::isfinite(window.distance) && std::isfinite(window.target_x) &&
                        std::isfinite(window.target_y));
        }
    }
}

}  // namespace

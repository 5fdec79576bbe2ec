// smoke-viewer: opens the window "World" and keeps it repainting 40 times a second.
#include <FL/Fl.H>

#include "viewer/world_window.h"

namespace {

constexpr float TIMER_PERIOD = 0.025f;  // seconds; also the tick's time step

}  // namespace

// The timer callback's only way to the window.
WorldWindow* main_window = nullptr;

void on_timer(void* /*data*/) {
    main_window->tick(TIMER_PERIOD);
    main_window->redraw();
    // Counts from when this tick was due, not from now, so the rate does not drift.
    Fl::repeat_timeout(TIMER_PERIOD, on_timer, nullptr);
}

int main(int argc, char** argv) {
    Fl::visual(FL_RGB);
    // Lives until the process ends; q exits without tearing it down.
    main_window = new WorldWindow(100, 100, 800, 600, "World");
    main_window->show(argc, argv);
    Fl::add_timeout(0.0, on_timer, nullptr);
    return Fl::run();
}

// The viewer's model side: the scenario's model, whichever it is, the steps taken, and in explore mode
// (--explore) playing, resetting, the survey of the cells and the selected cell. No toolkit and no OpenGL: the
// window only forwards its keys, clicks and timer here, and tests drive it without a window.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lattice/lattice.h"
#include "lattice/survey.h"
#include "lattice/world.h"
#include "models/model.h"
#include "models/scenario.h"
#include "viewer/overlay_layout.h"
#include "viewer/overlay_text.h"
#include "viewer/placement.h"

class Explorer {
public:
    using Clock = std::chrono::steady_clock;
    // Takes everything the viewer prints on standard output, a whole piece at a time: each step's
    // report, each selected cell's line with its newline.
    using Sink = std::function<void(const std::string& text)>;

    // Builds and seeds the scenario's model (std::bad_alloc when it cannot). Without exploring, only
    // step() does anything, as in the plain viewer.
    Explorer(const Scenario& scenario, bool exploring, Sink sink);
    // The demonstration on world.
    Explorer(const World& world, bool exploring, Sink sink);

    bool exploring() const { return exploring_; }
    const World& world() const { return model_->scenario().world; }
    const Model& model() const { return *model_; }
    // The demonstration's lattice; std::logic_error for another model. Whoever may change its cells
    // through the mutable one counts as changing them (changes()).
    const Lattice& lattice() const;
    Lattice& lattice();
    // Counts every step, reset and access that may change the cells: the same count, the same cells.
    unsigned long changes() const { return changes_; }
    long step_number() const { return step_number_; }
    bool playing() const { return playing_; }
    // Measured while playing, once a whole period has passed; nothing before.
    std::optional<double> steps_per_second() const { return steps_per_second_; }
    // Of the cells at step_number(); exploring only.
    const Survey& survey() const { return survey_; }
    // The first step since the seeded state that left a value not finite.
    const std::optional<FirstNonFinite>& first_nonfinite() const { return first_nonfinite_; }
    // The selected cell, followed from step to step.
    const std::optional<Place>& selected() const { return selected_; }
    // What the points show: the smoke, or in a world with a flow the speed.
    PointView points() const { return points_; }
    // Exploring, in a world with a flow: the largest finite speed of the cells at step_number() (none
    // when no cell has one), and the mass's drift from the start, in parts per million.
    std::optional<FlowFigures> flow_figures() const;
    // The speed the speed view's map tops at: the largest the scenario gives the flow, or where it
    // gives none, the largest present (0 when there is none).
    double speed_top() const;

    // One step, and its report to the sink.
    void step();
    // Exploring: play or pause; the rate is measured afresh from now.
    void toggle_play(Clock::time_point now);
    // Called at every repaint: while playing, steps once and counts the step toward the rate.
    void tick(Clock::time_point now);
    // Exploring: back to the seeded state at step 0, in place, playing or paused as before.
    void reset();
    // The worker threads each step may use; the cells stay as they are.
    void set_threads(int count) { model_->set_threads(count); }
    // Exploring: selects what a click at window pixel (x, y) shows in a w x h window drawn from view
    // and prints its line, or clears the selection. A click on one of the overlay's panels, laid out
    // in font (nothing when there is no text), changes nothing.
    void click(const View& view, int w, int h, int x, int y, const std::optional<FontMetrics>& font);
    // Exploring: selects place (or nothing) and prints the cell's line.
    void select(const std::optional<Place>& place);
    // Exploring, in a world with a flow; elsewhere these do nothing, as other keys. Switches the
    // points between the smoke and the speed.
    void toggle_view();
    // Puts PUFF_SMOKE into the selected cell at once and prints "Puff X,Y,PLANE at step N: 1"; an
    // obstacle takes none, and nothing is printed.
    void puff();
    // Makes the selected cell an obstacle (dropping its populations and smoke), or an obstacle's
    // cell fluid at rest, at once; prints "Obstacle X,Y,PLANE at step N: on" (or off).
    void toggle_obstacle();

    // The overlay of a w x h window in font: the status lines, the selected cell, the legend and keys.
    OverlayLayout overlay(const FontMetrics& font, int w, int h) const;

private:
    void survey_cells();
    bool has_flow() const { return model_->given_speed().has_value(); }

    std::unique_ptr<Model> model_;  // never null
    unsigned long changes_ = 0;
    bool exploring_;
    Sink sink_;
    long step_number_ = 0;
    bool playing_ = false;
    std::optional<double> steps_per_second_;
    Survey survey_;
    std::optional<FirstNonFinite> first_nonfinite_;
    std::optional<Place> selected_;
    PointView points_ = PointView::SMOKE;
    std::optional<double> start_mass_;       // a flow's mass at step 0
    std::optional<double> mass_;             // and at step_number()
    std::optional<float> largest_speed_;     // of the cells at step_number()
    // Steps taken while playing since rate_start_, when the measure under way began.
    Clock::time_point rate_start_;
    long rate_steps_ = 0;
};

// The smoke a puff puts into a cell.
constexpr float PUFF_SMOKE = 1.0f;

// The steps per second are counted over this long: a figure that holds still long enough to read.
constexpr std::chrono::milliseconds RATE_PERIOD(500);

// Whether window pixel (x, y) lies on one of the overlay's panels.
bool on_panel(const OverlayLayout& layout, int x, int y);

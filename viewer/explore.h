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

    // One step, and its report to the sink.
    void step();
    // Exploring: play or pause; the rate is measured afresh from now.
    void toggle_play(Clock::time_point now);
    // Called at every repaint: while playing, steps once and counts the step toward the rate.
    void tick(Clock::time_point now);
    // Exploring: back to the seeded state at step 0, in place, playing or paused as before.
    void reset();
    // Exploring: selects what a click at window pixel (x, y) shows in a w x h window drawn from view
    // and prints its line, or clears the selection. A click on one of the overlay's panels, laid out
    // in font (nothing when there is no text), changes nothing.
    void click(const View& view, int w, int h, int x, int y, const std::optional<FontMetrics>& font);
    // Exploring: selects place (or nothing) and prints the cell's line.
    void select(const std::optional<Place>& place);

    // The overlay of a w x h window in font: the status lines, the selected cell, the legend and keys.
    OverlayLayout overlay(const FontMetrics& font, int w, int h) const;

private:
    void survey_cells();

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
    // Steps taken while playing since rate_start_, when the measure under way began.
    Clock::time_point rate_start_;
    long rate_steps_ = 0;
};

// The steps per second are counted over this long: a figure that holds still long enough to read.
constexpr std::chrono::milliseconds RATE_PERIOD(500);

// Whether window pixel (x, y) lies on one of the overlay's panels.
bool on_panel(const OverlayLayout& layout, int x, int y);

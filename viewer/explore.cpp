#include "viewer/explore.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <utility>

#include "common/cell_text.h"
#include "viewer/picking.h"

namespace {

// The report as the model writes it, byte for byte.
std::string report_text(const Model& model) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* const text = open_memstream(&buffer, &size);
    if (!text) throw std::bad_alloc();
    model.report(text);
    const bool written = std::fclose(text) == 0 && buffer;
    std::string report = written ? std::string(buffer, size) : std::string();
    std::free(buffer);
    if (!written) throw std::bad_alloc();
    return report;
}

bool inside(const Box& box, int x, int y) { return x >= box.x && x < box.right() && y >= box.y && y < box.bottom(); }

}  // namespace

Explorer::Explorer(const Scenario& scenario, bool exploring, Sink sink)
    : model_(make_model(scenario)), exploring_(exploring), sink_(std::move(sink)) {
    if (exploring_) {
        start_mass_ = model_->mass();
        survey_cells();
    }
}

Explorer::Explorer(const World& world, bool exploring, Sink sink)
    : Explorer(Scenario{ModelKind::demo, world, {}}, exploring, std::move(sink)) {}

const Lattice& Explorer::lattice() const {
    const Lattice* const lattice = demo_lattice(*model_);
    if (!lattice) throw std::logic_error("the model has no lattice of the demonstration");
    return *lattice;
}

Lattice& Explorer::lattice() {
    Lattice* const lattice = demo_lattice(*model_);
    if (!lattice) throw std::logic_error("the model has no lattice of the demonstration");
    ++changes_;
    return *lattice;
}

void Explorer::step() {
    model_->advance();
    ++changes_;
    ++step_number_;
    if (exploring_) survey_cells();
    sink_(report_text(*model_));
}

void Explorer::survey_cells() {
    survey_ = ::survey(model_->fields(), model_->extent(), model_->values());
    if (!first_nonfinite_ && survey_.first_nonfinite) {
        first_nonfinite_ = FirstNonFinite{step_number_, *survey_.first_nonfinite};
    }
    if (!has_flow()) return;
    mass_ = model_->mass();
    largest_speed_.reset();
    const Extent e = model_->extent();
    for (int plane = 0; plane < e.planes; ++plane)
        for (int row = 0; row < e.rows; ++row)
            for (int column = 0; column < e.columns; ++column) {
                const float speed = model_->speed({column, row, plane}).value_or(0);
                if (std::isfinite(speed) && (!largest_speed_ || speed > *largest_speed_)) largest_speed_ = speed;
            }
}

std::optional<FlowFigures> Explorer::flow_figures() const {
    if (!exploring_ || !has_flow() || !start_mass_ || !mass_) return std::nullopt;
    return FlowFigures{largest_speed_, (*mass_ - *start_mass_) / *start_mass_ * 1e6};
}

double Explorer::speed_top() const {
    const double given = model_->given_speed().value_or(0);
    if (given > 0) return given;
    return largest_speed_.value_or(0);
}

void Explorer::toggle_play(Clock::time_point now) {
    if (!exploring_) return;
    playing_ = !playing_;
    steps_per_second_.reset();
    rate_start_ = now;
    rate_steps_ = 0;
}

void Explorer::tick(Clock::time_point now) {
    if (!playing_) return;
    step();
    ++rate_steps_;
    const std::chrono::duration<double> elapsed = now - rate_start_;
    if (elapsed < RATE_PERIOD) return;
    steps_per_second_ = rate_steps_ / elapsed.count();
    rate_start_ = now;
    rate_steps_ = 0;
}

void Explorer::reset() {
    if (!exploring_) return;
    // The demonstration reseeds in place: nothing to allocate, so nothing that can fail inside the
    // toolkit's callback.
    model_->reset();
    ++changes_;
    step_number_ = 0;
    first_nonfinite_.reset();
    start_mass_ = model_->mass();
    survey_cells();
}

void Explorer::toggle_view() {
    if (!exploring_ || !has_flow()) return;
    points_ = points_ == PointView::SMOKE ? PointView::SPEED : PointView::SMOKE;
    ++changes_;  // every point's colour, and which cells draw one
}

namespace {
std::string change_line(const char* what, const Place& place, long step, const char* value) {
    return std::string(what) + " " + std::to_string(place.column) + "," + std::to_string(place.row) + "," +
           std::to_string(place.plane) + " at step " + std::to_string(step) + ": " + value + "\n";
}
}  // namespace

void Explorer::puff() {
    if (!exploring_ || !selected_ || !model_->puff(*selected_, PUFF_SMOKE)) return;
    ++changes_;
    survey_cells();
    sink_(change_line("Puff", *selected_, step_number_, "1"));
}

void Explorer::toggle_obstacle() {
    if (!exploring_ || !selected_) return;
    const bool solid = model_->mark(*selected_) != CellMark::SOLID;
    if (!model_->set_obstacle(*selected_, solid)) return;
    ++changes_;
    survey_cells();
    sink_(change_line("Obstacle", *selected_, step_number_, solid ? "on" : "off"));
}

void Explorer::click(const View& view, int w, int h, int x, int y, const std::optional<FontMetrics>& font) {
    if (!exploring_) return;
    // The panels hide the scene beneath them: a click on one is not a click on the scene, and
    // leaves the selection as it is.
    if (font && on_panel(overlay(*font, w, h), x, y)) return;
    select(pick(*model_, view, w, h, x, y, points_));
}

void Explorer::select(const std::optional<Place>& place) {
    if (!exploring_) return;
    selected_ = place;
    if (selected_) sink_(cell_line(model_->fields(), step_number_, *selected_, model_->values()) + "\n");
}

OverlayLayout Explorer::overlay(const FontMetrics& font, int w, int h) const {
    std::vector<std::string> cell;
    if (selected_) cell = cell_lines(model_->fields(), *selected_, model_->values());
    OverlayStyle style;
    style.flow = has_flow();
    style.speed = points_ == PointView::SPEED;
    style.speed_top = speed_top();
    style.speed_top_given = model_->given_speed().value_or(0) > 0;
    return overlay_layout(font, w, h,
                          status_lines(model_->fields(), step_number_, playing_, steps_per_second_, survey_,
                                       model_->extent().cells(), first_nonfinite_, flow_figures()),
                          cell, style);
}

bool on_panel(const OverlayLayout& layout, int x, int y) {
    for (const std::optional<TextPanel>* panel : {&layout.status, &layout.cell, &layout.keys}) {
        if (*panel && inside((*panel)->panel, x, y)) return true;
    }
    return layout.legend && inside(layout.legend->panel, x, y);
}

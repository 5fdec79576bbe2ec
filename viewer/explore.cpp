#include "viewer/explore.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <new>
#include <utility>

#include "common/cell_text.h"
#include "viewer/picking.h"

namespace {

// The report as Lattice::report writes it, byte for byte.
std::string report_text(const Lattice& lattice) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* const text = open_memstream(&buffer, &size);
    if (!text) throw std::bad_alloc();
    lattice.report(text);
    const bool written = std::fclose(text) == 0 && buffer;
    std::string report = written ? std::string(buffer, size) : std::string();
    std::free(buffer);
    if (!written) throw std::bad_alloc();
    return report;
}

bool inside(const Box& box, int x, int y) { return x >= box.x && x < box.right() && y >= box.y && y < box.bottom(); }

}  // namespace

Explorer::Explorer(const World& world, bool exploring, Sink sink)
    : world_(world), lattice_(make_world(world)), exploring_(exploring), sink_(std::move(sink)) {
    if (exploring_) survey_lattice();
}

void Explorer::step() {
    lattice_->advance();
    ++step_number_;
    if (exploring_) survey_lattice();
    sink_(report_text(*lattice_));
}

void Explorer::survey_lattice() {
    survey_ = ::survey(*lattice_);
    if (!first_nonfinite_ && survey_.first_nonfinite) {
        first_nonfinite_ = FirstNonFinite{step_number_, *survey_.first_nonfinite};
    }
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
    // In place: nothing to allocate, so nothing that can fail inside the toolkit's callback.
    lattice_->reseed(world_);
    step_number_ = 0;
    first_nonfinite_.reset();
    survey_lattice();
}

void Explorer::click(const View& view, int w, int h, int x, int y, const std::optional<FontMetrics>& font) {
    if (!exploring_) return;
    // The panels hide the scene beneath them: a click on one is not a click on the scene, and
    // leaves the selection as it is.
    if (font && on_panel(overlay(*font, w, h), x, y)) return;
    select(pick(*lattice_, view, w, h, x, y));
}

void Explorer::select(const std::optional<Place>& place) {
    if (!exploring_) return;
    selected_ = place;
    if (selected_) sink_(cell_line(step_number_, *selected_, *lattice_->cell(selected_->column, selected_->row, selected_->plane)) + "\n");
}

OverlayLayout Explorer::overlay(const FontMetrics& font, int w, int h) const {
    std::vector<std::string> cell;
    if (selected_) cell = cell_lines(*selected_, *lattice_->cell(selected_->column, selected_->row, selected_->plane));
    return overlay_layout(font, w, h,
                          status_lines(step_number_, playing_, steps_per_second_, survey_, lattice_->cell_count(),
                                       first_nonfinite_),
                          cell);
}

bool on_panel(const OverlayLayout& layout, int x, int y) {
    for (const std::optional<TextPanel>* panel : {&layout.status, &layout.cell, &layout.keys}) {
        if (*panel && inside((*panel)->panel, x, y)) return true;
    }
    return layout.legend && inside(layout.legend->panel, x, y);
}

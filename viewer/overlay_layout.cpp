#include "viewer/overlay_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "viewer/colours.h"
#include "viewer/overlay_text.h"

namespace {

constexpr int MARGIN = 8;  // from the window's edges, and inside a panel
constexpr int STATUS_LINES_MOST = 4;  // the side panels stay put when the fourth appears
constexpr int LEGEND_BAR_GLYPHS = 20;  // the bar's length, in glyphs
constexpr int LEGEND_TICK = 3;
constexpr const char* KEYS = "space play/pause   f step   r reset   click a cell   q quit";
constexpr const char* FLOW_KEYS =
    "space play/pause   f step   r reset   v smoke/speed   click a cell, then p puff, o obstacle   q quit";

int panel_width(const FontMetrics& font, const std::vector<std::string>& lines) {
    int width = 0;
    for (const std::string& line : lines) width = std::max(width, font.width(line));
    return width + 2 * MARGIN;
}

int panel_height(const FontMetrics& font, std::size_t lines) { return int(lines) * font.line_height() + MARGIN; }

TextPanel text_panel(const FontMetrics& font, const std::vector<std::string>& lines, int x, int y) {
    TextPanel panel = {{x, y, panel_width(font, lines), panel_height(font, lines.size())}, {}};
    int baseline = y + MARGIN / 2 + font.ascent;
    for (const std::string& line : lines) {
        panel.labels.push_back({line, x + MARGIN, baseline});
        baseline += font.line_height();
    }
    return panel;
}

Legend legend_at(const FontMetrics& font, int x, int y, const OverlayStyle& style) {
    Legend legend{};
    const int line = font.line_height(), left = x + MARGIN;
    const int swatch = std::max(1, font.ascent - 2), beside = left + swatch + font.cell_width;
    const float saturation = float(1 / POINT_LIGHT);
    int baseline = y + MARGIN / 2 + font.ascent;
    legend.speed = style.flow && style.speed;
    legend.labels.push_back({legend.speed ? "points: speed |u|" : "points: smoke", left, baseline});

    legend.bar = {left, baseline + font.descent + 2, LEGEND_BAR_GLYPHS * font.cell_width, std::max(1, font.ascent - 1)};
    legend.tick_length = LEGEND_TICK;
    if (legend.speed) {
        // The map over the whole bar, its range below its ends.
        legend.full = legend.bar.right();
        legend.ticks = {left, legend.bar.right() - 1};
        baseline = legend.bar.bottom() + LEGEND_TICK + font.ascent;
        legend.labels.push_back({"0", left, baseline});
        char top[32];
        std::snprintf(top, sizeof top, "%.3g", style.speed_top);
        legend.labels.push_back({top, legend.bar.right() - font.width(top), baseline});
        legend.labels.push_back({style.speed_top_given ? "to the speed given" : "to the largest now", left,
                                 baseline += line});
    } else {
        // The colours run as the points' do, linearly up to saturation, then full green.
        legend.full = left + int(std::lround(legend.bar.w * saturation / LEGEND_TOP_SMOKE));
        legend.ticks = {left, left + int(std::lround(legend.bar.w / LEGEND_TOP_SMOKE))};
        baseline = legend.bar.bottom() + LEGEND_TICK + font.ascent;  // the ticks' figures below them
        legend.labels.push_back({"0", left, baseline});
        legend.labels.push_back({"1", legend.ticks[1] - font.width("1") / 2, baseline});
        char saturated[64];
        std::snprintf(saturated, sizeof saturated, "full green from %.3g", saturation);
        legend.labels.push_back({saturated, left, baseline += line});
    }

    // The marker in a swatch larger than its one-pixel point, and the selected cell's square.
    if (!legend.speed) {
        baseline += line;
        legend.marker = Box{left, baseline - swatch, swatch, swatch};
        legend.labels.push_back({"no smoke, and a", beside, baseline});
        legend.labels.push_back({style.flow ? "cell of a face" : "neighbour missing", beside, baseline += line});
    }
    if (style.flow) {
        baseline += line;
        legend.obstacle = Box{left, baseline - swatch, swatch, swatch};
        legend.labels.push_back({"obstacle", beside, baseline});
    }
    baseline += line;
    legend.square = {left, baseline - swatch, swatch, swatch};
    legend.labels.push_back({"selected cell", beside, baseline});

    int right = legend.bar.right();
    for (const Label& label : legend.labels) right = std::max(right, label.x + font.width(label.text));
    legend.panel = {x, y, right + MARGIN - x, baseline + font.descent + MARGIN / 2 - y};
    return legend;
}

}  // namespace

int FontMetrics::width(const std::string& text) const {
    int sum = 0;
    for (const char c : text) sum += advance[static_cast<unsigned char>(c)];
    return sum;
}

OverlayLayout overlay_layout(const FontMetrics& font, int w, int h, const std::vector<std::string>& status,
                             const std::vector<std::string>& cell, const OverlayStyle& style) {
    const int side_top = panel_height(font, STATUS_LINES_MOST) + font.line_height();
    OverlayLayout layout = {text_panel(font, status, 0, 0), legend_at(font, 0, side_top, style), std::nullopt,
                            text_panel(font, {style.flow ? FLOW_KEYS : KEYS}, 0, h - panel_height(font, 1))};
    if (!cell.empty()) {
        // As wide as the long figures make it whatever the cell holds, so that it stays put as they
        // change; raised, when the window is short, to end above the keys, but never above the window.
        const int width =
            std::max(panel_width(font, cell), int(CELL_NAME_WIDTH + LONG_FIGURE) * font.cell_width + 2 * MARGIN);
        const int top = std::max(0, std::min(side_top, layout.keys->panel.y - panel_height(font, cell.size())));
        layout.cell = text_panel(font, cell, w - width, top);
        layout.cell->panel.w = width;
    }

    std::vector<Box> kept;
    const auto keep = [&](auto& panel) {
        if (!panel) return;
        const Box& box = panel->panel;
        const auto apart = [&](const Box& other) {
            return box.right() <= other.x || other.right() <= box.x || box.bottom() <= other.y ||
                   other.bottom() <= box.y;
        };
        const bool inside = box.x >= 0 && box.y >= 0 && box.right() <= w && box.bottom() <= h;
        if (inside && std::all_of(kept.begin(), kept.end(), apart)) {
            kept.push_back(box);
        } else {
            panel.reset();
        }
    };
    keep(layout.status);
    keep(layout.keys);
    keep(layout.cell);
    keep(layout.legend);
    return layout;
}

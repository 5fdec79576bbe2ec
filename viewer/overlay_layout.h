// Where explore mode's overlay puts its panels and words, in window pixels (y down), from the font's
// measured glyphs: pure functions, so that any font and window size can be tested without a display.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

// The overlay font's glyphs as the X server measures them, in pixels.
struct FontMetrics {
    int cell_width = 0;  // the widest glyph
    int ascent = 0, descent = 0;  // above and below the baseline
    std::array<int, 256> advance{};  // by character code

    int line_height() const { return ascent + descent + 1; }
    int width(const std::string& text) const;
};

struct Box {
    int x, y, w, h;
    int right() const { return x + w; }
    int bottom() const { return y + h; }
};

// A line of text, its left end on a baseline.
struct Label {
    std::string text;
    int x, baseline;
};

// Lines of text on a dark panel that fits them.
struct TextPanel {
    Box panel;
    std::vector<Label> labels;
};

// The points' colours as they show: a bar from smoke 0 (black) to LEGEND_TOP_SMOKE, full green from
// saturation on, with ticks at 0 and 1; the blue marker's swatch; the selected cell's square.
// In the speed view the bar is the speed's map from 0 to its top, a tick at each end. A world with
// a flow adds the grey obstacle's swatch.
constexpr float LEGEND_TOP_SMOKE = 1.5f;
struct Legend {
    Box panel;
    Box bar;
    bool speed;  // the bar is the speed's map, not the smoke's green
    int full;  // where the bar reaches full green (the bar's end for the speed)
    std::array<int, 2> ticks;  // the columns of smoke 0 and 1 (of speed 0 and the top), each a tick below the bar
    int tick_length;
    std::optional<Box> marker;  // the marker's swatch; none in the speed view, where no cell draws one
    Box square;  // the selected cell's square as the highlight draws it
    std::optional<Box> obstacle;  // the obstacle's swatch, in a world with a flow
    std::vector<Label> labels;
};

// What the overlay shows beyond the demonstration's: a world with a flow has the keys of its hands
// and the obstacle in the legend; its points show the smoke or the speed from 0 to speed_top.
struct OverlayStyle {
    bool flow = false;
    bool speed = false;
    double speed_top = 0;
    bool speed_top_given = false;  // the scenario's speed, else the largest present
};

// The overlay of a window of w x h pixels: the status lines at the top left; the legend on the left
// and the selected cell's lines (when there are any) on the right, both below where the status lines
// end at their most; the keys along the bottom. Each panel is as large as its text measures, against
// the window's edge. A panel that would leave the window or cover one before it in that order
// (status, keys, cell, legend) is left out: a small window shows fewer panels, none cut.
struct OverlayLayout {
    std::optional<TextPanel> status;
    std::optional<Legend> legend;
    std::optional<TextPanel> cell;
    std::optional<TextPanel> keys;
};
OverlayLayout overlay_layout(const FontMetrics& font, int w, int h, const std::vector<std::string>& status,
                             const std::vector<std::string>& cell, const OverlayStyle& style = {});

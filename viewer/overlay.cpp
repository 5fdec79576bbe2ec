// Explore mode's overlay, drawn over the scene in window pixels with lighting and the depth test
// off: the figures along the top, the legend on the left, the selected cell on the right and its
// highlight, and the keys along the bottom. At 800 x 600 all but the highlight stay clear of the
// running system's sheet (x 160 to 640, y 80 to 570).
#include <FL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "viewer/colours.h"
#include "viewer/world_window.h"

// Last: Xlib's macros (Success, None, Bool) would break the headers above.
#include <FL/x.H>
#include <GL/glx.h>

namespace {

constexpr int MARGIN = 8;  // from the window's edges, and inside a panel
constexpr int SIDE_WIDTH = 150;  // the columns left and right of the sheet
constexpr int SIDE_TOP = 90;  // below the lines along the top
constexpr int HIGHLIGHT_HALF = 6;  // the selected cell's square: its sides this many pixels from its point
constexpr int LEGEND_BAR_WIDTH = 120, LEGEND_BAR_HEIGHT = 10, LEGEND_TICK = 3;
constexpr float LEGEND_TOP_SMOKE = 1.5f;  // the bar runs from smoke 0 to this, past saturation
constexpr const char* KEYS = "space play/pause   f step   r reset   click a cell   q quit";

int line_height(const OverlayFont& font) { return font.ascent + font.descent + 1; }

int text_width(const OverlayFont& font, const std::string& text) {
    int width = 0;
    for (const char c : text) width += font.advance[static_cast<unsigned char>(c)];
    return width;
}

void draw_text(const OverlayFont& font, const std::string& text, int x, int baseline) {
    glRasterPos2i(x, baseline);
    glListBase(font.lists);
    glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
}

void fill(int x, int y, int w, int h, const Colour& c) {
    glColor3f(c.r, c.g, c.b);
    glRecti(x, y, x + w, y + h);
}

// Darkens the scene behind a block of text, so that it reads over smoke and markers alike.
void panel(int x, int y, int w, int h) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0, 0, 0, 0.65f);
    glRecti(x, y, x + w, y + h);
    glDisable(GL_BLEND);
}

// A square's outline through the centres of its edge pixels, so that its lines are crisp.
void square_outline(int left, int top, int side) {
    const double x0 = left + 0.5, y0 = top + 0.5, x1 = left + side - 0.5, y1 = top + side - 0.5;
    glBegin(GL_LINE_LOOP);
    glVertex2d(x0, y0);
    glVertex2d(x1, y0);
    glVertex2d(x1, y1);
    glVertex2d(x0, y1);
    glEnd();
}

// Lines of text on a panel whose top left corner is (x, y).
void text_block(const OverlayFont& font, const std::vector<std::string>& lines, int x, int y) {
    int width = 0;
    for (const std::string& line : lines) width = std::max(width, text_width(font, line));
    const int height = int(lines.size()) * line_height(font);
    panel(x, y, width + 2 * MARGIN, height + MARGIN);
    glColor3f(1, 1, 1);
    int baseline = y + MARGIN / 2 + font.ascent;
    for (const std::string& line : lines) {
        draw_text(font, line, x + MARGIN, baseline);
        baseline += line_height(font);
    }
}

// The points' colours as they show: smoke from black to full green, saturated beyond; the blue
// marker; the selected cell's square.
void legend(const OverlayFont& font, int x, int y) {
    const int line = line_height(font);
    const float saturation = float(1 / POINT_LIGHT);
    // Six lines of text, one of them between the bar and its ticks.
    panel(x, y, SIDE_WIDTH - MARGIN, 6 * line + LEGEND_BAR_HEIGHT + LEGEND_TICK + MARGIN);
    glColor3f(1, 1, 1);
    const int left = x + MARGIN, beside = left + font.ascent + 4;
    int baseline = y + MARGIN / 2 + font.ascent;
    draw_text(font, "points: smoke", left, baseline);

    // The bar, smoke 0 at its left end: the colours run as the points' do, linearly up to saturation.
    const int bar_top = baseline + font.descent + 2, bar_bottom = bar_top + LEGEND_BAR_HEIGHT;
    const int full = left + int(std::lround(LEGEND_BAR_WIDTH * saturation / LEGEND_TOP_SMOKE));
    const Colour black = as_shown(smoke_colour(0)), green = as_shown(smoke_colour(saturation));
    glBegin(GL_QUADS);
    glColor3f(black.r, black.g, black.b);
    glVertex2i(left, bar_bottom);
    glVertex2i(left, bar_top);
    glColor3f(green.r, green.g, green.b);
    glVertex2i(full, bar_top);
    glVertex2i(full, bar_bottom);
    glEnd();
    fill(full, bar_top, left + LEGEND_BAR_WIDTH - full, LEGEND_BAR_HEIGHT, green);

    // Ticks at 0 and 1, with their figures below.
    glColor3f(1, 1, 1);
    const int one = left + int(std::lround(LEGEND_BAR_WIDTH / LEGEND_TOP_SMOKE));
    for (const int tick : {left, one}) glRecti(tick, bar_bottom, tick + 1, bar_bottom + LEGEND_TICK);
    baseline = bar_bottom + LEGEND_TICK + font.ascent;
    draw_text(font, "0", left, baseline);
    draw_text(font, "1", one - text_width(font, "1") / 2, baseline);
    char saturated[64];
    std::snprintf(saturated, sizeof saturated, "full green from %.3g", saturation);
    draw_text(font, saturated, left, baseline += line);

    // The marker, in a swatch larger than its one-pixel point, and the selected cell's square.
    const int swatch = font.ascent - 2;
    baseline += line;
    fill(left, baseline - swatch, swatch, swatch, as_shown(MARKER_COLOUR));
    glColor3f(1, 1, 1);
    draw_text(font, "no smoke, and a", beside, baseline);
    draw_text(font, "neighbour missing", beside, baseline += line);
    baseline += line;
    square_outline(left, baseline - swatch, swatch);
    draw_text(font, "selected cell", beside, baseline);
}

}  // namespace

void WorldWindow::draw_overlay() {
    if (w() <= 0 || h() <= 0) return;  // no pixels to draw over, nor a projection onto them
    if (!context_valid()) load_font();  // a new context has no lists
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, w(), h(), 0, -1, 1);  // window pixels, y down as the toolkit counts them
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    if (selected) {
        const Point p = cell_point(world.columns, world.rows, selected->column, selected->row, selected->plane);
        const WindowPoint q = project(camera(), w(), h(), p);
        // Only a drawn point, and one near enough to the window for its pixel to be a number.
        const bool near_window = q.x > -w() && q.x < 2.0 * w() && q.y > -h() && q.y < 2.0 * h();
        if (q.depth > near_plane && q.depth < far_plane && near_window) {
            glColor3f(1, 1, 1);
            square_outline(int(std::floor(q.x)) - HIGHLIGHT_HALF, int(std::floor(q.y)) - HIGHLIGHT_HALF,
                           2 * HIGHLIGHT_HALF + 1);
        }
    }
    if (font_.lists) {  // else the X server refused even "fixed", and there is no text
        const std::vector<std::string> status =
            status_lines(step_number, playing, steps_per_second, summary, lattice->cell_count(), first_nonfinite);
        text_block(font_, status, 0, 0);
        legend(font_, 0, SIDE_TOP);
        if (selected) {
            const Cell& cell = *lattice->cell(selected->column, selected->row, selected->plane);
            text_block(font_, cell_lines(*selected, cell), w() - SIDE_WIDTH, SIDE_TOP);
        }
        const int line = line_height(font_);
        panel(0, h() - line - MARGIN, text_width(font_, KEYS) + 2 * MARGIN, line + MARGIN);
        glColor3f(1, 1, 1);
        draw_text(font_, KEYS, MARGIN, h() - MARGIN / 2 - font_.descent - 1);
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

// The X server's "fixed" font, 6 x 13 pixels on a server without font packages, which every server
// has built in: a display list for each printable ASCII character, kept with the context, and the
// metrics to lay the text out by.
void WorldWindow::load_font() {
    font_.lists = 0;
    XFontStruct* const x_font = XLoadQueryFont(fl_display, "fixed");
    if (!x_font) return;
    font_.ascent = x_font->ascent;
    font_.descent = x_font->descent;
    for (unsigned c = 0; c < font_.advance.size(); ++c) {
        const bool in_font = c >= x_font->min_char_or_byte2 && c <= x_font->max_char_or_byte2;
        font_.advance[c] = !in_font ? 0 : x_font->per_char ? x_font->per_char[c - x_font->min_char_or_byte2].width
                                                          : x_font->max_bounds.width;
    }
    font_.lists = glGenLists(GLsizei(font_.advance.size()));
    // Mesa drops a blank glyph's empty bitmap from its display list (raising GL_OUT_OF_MEMORY), so
    // that a space would not move on: the font gives the visible characters, and the space is one
    // clear pixel that moves on by its width.
    glXUseXFont(x_font->fid, '!', '~' - '!' + 1, font_.lists + '!');
    const GLubyte clear = 0;
    glNewList(font_.lists + ' ', GL_COMPILE);
    glBitmap(1, 1, 0, 0, GLfloat(font_.advance[' ']), 0, &clear);
    glEndList();
    XFreeFont(fl_display, x_font);
}

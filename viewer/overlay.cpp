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

namespace {

constexpr int MARGIN = 8;  // from the window's edges, and inside a panel
constexpr int SIDE_WIDTH = 150;  // the columns left and right of the sheet
constexpr int SIDE_TOP = 90;  // below the lines along the top
constexpr int HIGHLIGHT_HALF = 6;  // the selected cell's square: its sides this many pixels from its point
constexpr int LEGEND_BAR_WIDTH = 120, LEGEND_BAR_HEIGHT = 10, LEGEND_TICK = 3;
constexpr float LEGEND_TOP_SMOKE = 1.5f;  // the bar runs from smoke 0 to this, past saturation
constexpr const char* KEYS = "space play/pause   f step   r reset   click a cell   q quit";

// The glyphs in the font's texture: printable ASCII, a cell each, side by side.
constexpr char FIRST_GLYPH = '!', LAST_GLYPH = '~';
constexpr int GLYPHS = LAST_GLYPH - FIRST_GLYPH + 1;

// A line of text to draw, its left end on a baseline. Text is drawn after the shapes, all of it in one
// batch: a state change costs a software renderer more than the quads do.
struct Label {
    std::string text;
    int x, baseline;
};

int line_height(const OverlayFont& font) { return font.ascent + font.descent + 1; }

int text_width(const OverlayFont& font, const std::string& text) {
    int width = 0;
    for (const char c : text) width += font.advance[static_cast<unsigned char>(c)];
    return width;
}

// Each character as a quad of its cell in the texture; the texture's alpha makes the glyph.
void draw_labels(const OverlayFont& font, const std::vector<Label>& labels) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, font.texture);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor3f(1, 1, 1);
    const float glyph_s = float(font.cell_width) / font.texture_width;
    const float glyph_t = float(font.ascent + font.descent) / font.texture_height;
    glBegin(GL_QUADS);
    for (const Label& label : labels) {
        int x = label.x;
        const int top = label.baseline - font.ascent, bottom = top + font.ascent + font.descent;
        for (const char c : label.text) {
            if (c >= FIRST_GLYPH && c <= LAST_GLYPH) {
                const float s = (c - FIRST_GLYPH) * glyph_s;
                glTexCoord2f(s, 0);
                glVertex2i(x, top);
                glTexCoord2f(s + glyph_s, 0);
                glVertex2i(x + font.cell_width, top);
                glTexCoord2f(s + glyph_s, glyph_t);
                glVertex2i(x + font.cell_width, bottom);
                glTexCoord2f(s, glyph_t);
                glVertex2i(x, bottom);
            }
            x += font.advance[static_cast<unsigned char>(c)];
        }
    }
    glEnd();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
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
void text_block(const OverlayFont& font, const std::vector<std::string>& lines, int x, int y,
                std::vector<Label>& labels) {
    int width = 0;
    for (const std::string& line : lines) width = std::max(width, text_width(font, line));
    panel(x, y, width + 2 * MARGIN, int(lines.size()) * line_height(font) + MARGIN);
    int baseline = y + MARGIN / 2 + font.ascent;
    for (const std::string& line : lines) {
        labels.push_back({line, x + MARGIN, baseline});
        baseline += line_height(font);
    }
}

// The points' colours as they show: smoke from black to full green, saturated beyond; the blue
// marker; the selected cell's square.
void legend(const OverlayFont& font, int x, int y, std::vector<Label>& labels) {
    const int line = line_height(font);
    const float saturation = float(1 / POINT_LIGHT);
    // Six lines of text, one of them between the bar and its ticks.
    panel(x, y, SIDE_WIDTH - MARGIN, 6 * line + LEGEND_BAR_HEIGHT + LEGEND_TICK + MARGIN);
    const int left = x + MARGIN, beside = left + font.ascent + 4;
    int baseline = y + MARGIN / 2 + font.ascent;
    labels.push_back({"points: smoke", left, baseline});

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
    labels.push_back({"0", left, baseline});
    labels.push_back({"1", one - text_width(font, "1") / 2, baseline});
    char saturated[64];
    std::snprintf(saturated, sizeof saturated, "full green from %.3g", saturation);
    labels.push_back({saturated, left, baseline += line});

    // The marker, in a swatch larger than its one-pixel point, and the selected cell's square.
    const int swatch = font.ascent - 2;
    baseline += line;
    fill(left, baseline - swatch, swatch, swatch, as_shown(MARKER_COLOUR));
    labels.push_back({"no smoke, and a", beside, baseline});
    labels.push_back({"neighbour missing", beside, baseline += line});
    baseline += line;
    glColor3f(1, 1, 1);
    square_outline(left, baseline - swatch, swatch);
    labels.push_back({"selected cell", beside, baseline});
}

}  // namespace

void WorldWindow::draw_overlay() {
    if (w() <= 0 || h() <= 0) return;  // no pixels to draw over, nor a projection onto them
    if (!context_valid()) load_font();  // a new context has no texture
    // The scene's state is set for a new context or size only (setup_context), so what changes here
    // is put back at the end.
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
    if (font_.texture) {  // else the X server refused even "fixed", and there is no text
        std::vector<Label> labels;
        const std::vector<std::string> status =
            status_lines(step_number, playing, steps_per_second, summary, lattice->cell_count(), first_nonfinite);
        text_block(font_, status, 0, 0, labels);
        legend(font_, 0, SIDE_TOP, labels);
        if (selected) {
            const Cell& cell = *lattice->cell(selected->column, selected->row, selected->plane);
            text_block(font_, cell_lines(*selected, cell), w() - SIDE_WIDTH, SIDE_TOP, labels);
        }
        text_block(font_, {KEYS}, 0, h() - line_height(font_) - MARGIN, labels);
        draw_labels(font_, labels);
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
}

// The X server's "fixed" font, 6 x 13 pixels on a server without font packages, which every server
// has built in: its printable ASCII glyphs drawn once by the server, read back, and kept as a texture
// of the context (glBitmap text, a call per character, takes a software renderer about 20 ms a frame).
void WorldWindow::load_font() {
    font_.texture = 0;
    Display* const display = fl_display;
    XFontStruct* const x_font = XLoadQueryFont(display, "fixed");
    if (!x_font) return;
    font_.ascent = x_font->ascent;
    font_.descent = x_font->descent;
    font_.cell_width = x_font->max_bounds.width;
    for (unsigned c = 0; c < font_.advance.size(); ++c) {
        const bool in_font = c >= x_font->min_char_or_byte2 && c <= x_font->max_char_or_byte2;
        font_.advance[c] = !in_font ? 0 : x_font->per_char ? x_font->per_char[c - x_font->min_char_or_byte2].width
                                                          : x_font->max_bounds.width;
    }
    const int width = GLYPHS * font_.cell_width, height = font_.ascent + font_.descent;
    const Pixmap pixmap = XCreatePixmap(display, RootWindow(display, fl_screen), unsigned(width), unsigned(height), 1);
    const GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XSetForeground(display, gc, 0);
    XFillRectangle(display, pixmap, gc, 0, 0, unsigned(width), unsigned(height));
    XSetForeground(display, gc, 1);
    XSetFont(display, gc, x_font->fid);
    for (char c = FIRST_GLYPH; c <= LAST_GLYPH; ++c) {
        XDrawString(display, pixmap, gc, (c - FIRST_GLYPH) * font_.cell_width, font_.ascent, &c, 1);
    }
    XImage* const image = XGetImage(display, pixmap, 0, 0, unsigned(width), unsigned(height), 1, XYPixmap);
    XFreeGC(display, gc);
    XFreePixmap(display, pixmap);
    XFreeFont(display, x_font);
    if (!image) return;

    // A texture whose sides are powers of two, as OpenGL 1.x requires; the glyphs' top row at t = 0.
    font_.texture_width = 1;
    while (font_.texture_width < width) font_.texture_width *= 2;
    int texture_height = 1;
    while (texture_height < height) texture_height *= 2;
    std::vector<GLubyte> alpha(std::size_t(font_.texture_width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) alpha[std::size_t(y) * font_.texture_width + x] = XGetPixel(image, x, y) ? 255 : 0;
    XDestroyImage(image);
    alpha.resize(std::size_t(font_.texture_width) * texture_height, 0);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, font_.texture_width, texture_height, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 alpha.data());
    font_.texture = texture;
    font_.texture_height = texture_height;
}

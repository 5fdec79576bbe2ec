// Explore mode's overlay, drawn over the scene in window pixels with lighting and the depth test
// off: the figures along the top, the legend on the left, the selected cell on the right and its
// highlight, and the keys along the bottom, where overlay_layout puts them. At 800 x 600, in the
// usual 6 x 13 font, all but the highlight stay clear of the running system's sheet (x 160 to 640,
// y 80 to 570).
#include <FL/gl.h>

#include <cmath>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "viewer/colours.h"
#include "viewer/world_window.h"

// Last: Xlib's macros (Success, None, Bool) would break the headers above.
#include <FL/x.H>

namespace {

constexpr int HIGHLIGHT_HALF = 6;  // the selected cell's square: its sides this many pixels from its point

// The glyphs in the font's texture: printable ASCII, a cell each, side by side.
constexpr char FIRST_GLYPH = '!', LAST_GLYPH = '~';
constexpr int GLYPHS = LAST_GLYPH - FIRST_GLYPH + 1;

// Each character as a quad of its cell in the texture; the texture's alpha makes the glyph. All the
// text goes in one batch after the shapes: a state change costs a software renderer more than the
// quads do.
void draw_labels(const OverlayFont& font, const std::vector<const std::vector<Label>*>& batches) {
    const FontMetrics& metrics = font.metrics;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, font.texture);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor3f(1, 1, 1);
    const float glyph_s = float(metrics.cell_width) / font.texture_width;
    const float glyph_t = float(metrics.ascent + metrics.descent) / font.texture_height;
    glBegin(GL_QUADS);
    for (const std::vector<Label>* labels : batches)
        for (const Label& label : *labels) {
            int x = label.x;
            const int top = label.baseline - metrics.ascent, bottom = label.baseline + metrics.descent;
            for (const char c : label.text) {
                if (c >= FIRST_GLYPH && c <= LAST_GLYPH) {
                    const float s = (c - FIRST_GLYPH) * glyph_s;
                    glTexCoord2f(s, 0);
                    glVertex2i(x, top);
                    glTexCoord2f(s + glyph_s, 0);
                    glVertex2i(x + metrics.cell_width, top);
                    glTexCoord2f(s + glyph_s, glyph_t);
                    glVertex2i(x + metrics.cell_width, bottom);
                    glTexCoord2f(s, glyph_t);
                    glVertex2i(x, bottom);
                }
                x += metrics.advance[static_cast<unsigned char>(c)];
            }
        }
    glEnd();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

void fill(const Box& box, const Colour& c) {
    glColor3f(c.r, c.g, c.b);
    glRecti(box.x, box.y, box.right(), box.bottom());
}

// Darkens the scene behind a block of text, so that it reads over smoke and markers alike.
void darken(const Box& box) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0, 0, 0, 0.65f);
    glRecti(box.x, box.y, box.right(), box.bottom());
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

// The speed's map along the bar, one quad between each pair of its samples, as the points show it.
void draw_speed_bar(const Box& bar) {
    glBegin(GL_QUAD_STRIP);
    const int steps = int(SPEED_MAP.size()) - 1;
    for (int i = 0; i <= steps; ++i) {
        const Colour c = speed_map(double(i) / steps);
        const int x = bar.x + int(std::lround(double(bar.w) * i / steps));
        glColor3f(c.r, c.g, c.b);
        glVertex2i(x, bar.y);
        glVertex2i(x, bar.bottom());
    }
    glEnd();
}

// The legend's shapes; its words go with the rest of the text.
void draw_legend(const Legend& legend) {
    darken(legend.panel);
    const Box& bar = legend.bar;
    if (legend.speed) {
        draw_speed_bar(bar);
    } else {
        const Colour black = as_shown(smoke_colour(0)), green = as_shown(smoke_colour(float(1 / POINT_LIGHT)));
        glBegin(GL_QUADS);
        glColor3f(black.r, black.g, black.b);
        glVertex2i(bar.x, bar.bottom());
        glVertex2i(bar.x, bar.y);
        glColor3f(green.r, green.g, green.b);
        glVertex2i(legend.full, bar.y);
        glVertex2i(legend.full, bar.bottom());
        glEnd();
        fill({legend.full, bar.y, bar.right() - legend.full, bar.h}, green);
    }
    glColor3f(1, 1, 1);
    for (const int tick : legend.ticks) glRecti(tick, bar.bottom(), tick + 1, bar.bottom() + legend.tick_length);
    if (legend.marker) fill(*legend.marker, as_shown(MARKER_COLOUR));
    if (legend.obstacle) fill(*legend.obstacle, as_shown(SOLID_COLOUR));
    glColor3f(1, 1, 1);
    square_outline(legend.square.x, legend.square.y, legend.square.w);
}

}  // namespace

void WorldWindow::draw_panels() {
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

    const Extent extent = explorer_.model().extent();
    if (const std::optional<Place>& selected = explorer_.selected()) {
        const Point p = cell_point(extent.columns, extent.rows, selected->column, selected->row, selected->plane);
        const WindowPoint q = project(camera_, w(), h(), p);
        // Only a drawn point, and one near enough to the window for its pixel to be a number.
        const bool near_window = q.x > -w() && q.x < 2.0 * w() && q.y > -h() && q.y < 2.0 * h();
        if (q.depth > near_plane_ && q.depth < far_plane_ && near_window) {
            glColor3f(1, 1, 1);
            square_outline(int(std::floor(q.x)) - HIGHLIGHT_HALF, int(std::floor(q.y)) - HIGHLIGHT_HALF,
                           2 * HIGHLIGHT_HALF + 1);
        }
    }
    if (font_.texture) {  // else the X server refused even "fixed", and there is no text
        const OverlayLayout layout = explorer_.overlay(font_.metrics, w(), h());
        std::vector<const std::vector<Label>*> text;
        for (const std::optional<TextPanel>* panel : {&layout.status, &layout.cell, &layout.keys}) {
            if (!*panel) continue;
            darken((*panel)->panel);
            text.push_back(&(*panel)->labels);
        }
        if (layout.legend) {
            draw_legend(*layout.legend);
            text.push_back(&layout.legend->labels);
        }
        draw_labels(font_, text);
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
// The overlay is laid out from the glyphs' measured size, whatever the server's "fixed" is.
void WorldWindow::load_font() {
    font_ = OverlayFont();
    Display* const display = fl_display;
    XFontStruct* const x_font = XLoadQueryFont(display, "fixed");
    if (!x_font) return;
    FontMetrics& metrics = font_.metrics;
    metrics.ascent = x_font->ascent;
    metrics.descent = x_font->descent;
    metrics.cell_width = x_font->max_bounds.width;
    for (unsigned c = 0; c < metrics.advance.size(); ++c) {
        const bool in_font = c >= x_font->min_char_or_byte2 && c <= x_font->max_char_or_byte2;
        metrics.advance[c] = !in_font ? 0 : x_font->per_char ? x_font->per_char[c - x_font->min_char_or_byte2].width
                                                            : x_font->max_bounds.width;
    }
    const int width = GLYPHS * metrics.cell_width, height = metrics.ascent + metrics.descent;
    const Pixmap pixmap = XCreatePixmap(display, RootWindow(display, fl_screen), unsigned(width), unsigned(height), 1);
    const GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XSetForeground(display, gc, 0);
    XFillRectangle(display, pixmap, gc, 0, 0, unsigned(width), unsigned(height));
    XSetForeground(display, gc, 1);
    XSetFont(display, gc, x_font->fid);
    for (char c = FIRST_GLYPH; c <= LAST_GLYPH; ++c) {
        XDrawString(display, pixmap, gc, (c - FIRST_GLYPH) * metrics.cell_width, metrics.ascent, &c, 1);
    }
    XImage* const image = XGetImage(display, pixmap, 0, 0, unsigned(width), unsigned(height), 1, XYPixmap);
    XFreeGC(display, gc);
    XFreePixmap(display, pixmap);
    XFreeFont(display, x_font);
    if (!image) return;

    // A texture whose sides are powers of two, as OpenGL 1.x requires; the glyphs' top row at t = 0.
    const auto power_of_two = [](int at_least) {
        int side = 1;
        while (side < at_least) side *= 2;
        return side;
    };
    const int texture_width = power_of_two(width), texture_height = power_of_two(height);
    std::vector<GLubyte> alpha(std::size_t(texture_width) * std::size_t(texture_height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) alpha[std::size_t(y) * texture_width + x] = XGetPixel(image, x, y) ? 255 : 0;
    XDestroyImage(image);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, texture_width, texture_height, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 alpha.data());
    font_.texture = texture;
    font_.texture_width = texture_width;
    font_.texture_height = texture_height;
}

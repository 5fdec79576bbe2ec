// One frame: fixed-function OpenGL 1.x, the whole scene issued anew each time: the cube in immediate
// mode, the cells from vertex arrays kept while the cells stay as they were.
#include <FL/gl.h>
#include <GL/glu.h>

#include "viewer/colours.h"
#include "viewer/world_window.h"

namespace {

struct Vertex {
    GLfloat x, y, z;
};

struct CubeFace {
    Colour colour;
    Vertex corners[4];  // counter-clockwise seen from outside, so culling leaves the faces toward the eye
};

constexpr CubeFace CUBE_FACES[] = {
    {{0, 1, 0}, {{1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}}},          // y = +1, green
    {{1, 0.5f, 0}, {{1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}}},   // y = -1, orange
    {{1, 0, 0}, {{1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}}},          // z = +1, red
    {{1, 1, 0}, {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}},      // z = -1, yellow
    {{0, 0, 1}, {{-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}, {-1, -1, 1}}},      // x = -1, blue
    {{1, 0, 1}, {{1, 1, -1}, {1, 1, 1}, {1, -1, 1}, {1, -1, -1}}},          // x = +1, magenta
};

// A change of point size is costly for software renderers (Mesa's llvmpipe stalls the frame on it,
// delaying key presses by tens of milliseconds), so it is set only when it differs from the last.
void set_point_size(GLfloat wanted, GLfloat& current) {
    if (wanted != current) glPointSize(current = wanted);
}

void draw_cube() {
    glBegin(GL_QUADS);
    for (const CubeFace& face : CUBE_FACES) {
        glColor3f(face.colour.r, face.colour.g, face.colour.b);
        for (const Vertex& v : face.corners) glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}

}  // namespace

void WorldWindow::draw_cells() {
    if (arrays_changes_ != explorer_.changes()) build_arrays();
    // The sheet stands upright: column x runs along the frame's y axis, row y along z.
    glPushMatrix();
    glRotatef(180, 0, 0, 1);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    if (!points_.empty()) {
        glVertexPointer(3, GL_FLOAT, sizeof(PointVertex), &points_[0].x);
        glColorPointer(3, GL_FLOAT, sizeof(PointVertex), &points_[0].r);
    }
    GLfloat current_size = 0;  // none set yet in this frame
    for (std::size_t plane = 0; plane + 1 < plane_runs_.size(); ++plane) {
        glTranslatef(1, 0, 0);  // accumulates: plane p lies at x = p + 1
        for (int r = plane_runs_[plane]; r < plane_runs_[plane + 1]; ++r) {
            const PointRun& run = runs_[std::size_t(r)];
            set_point_size(run.size, current_size);
            glDrawArrays(GL_POINTS, run.first, run.count);
        }
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPopMatrix();
}

// Vertex arrays: a few calls a plane instead of a glBegin and glEnd for every cell, 262,144 a frame
// for a 512 x 512 sheet; and built only when the cells may have changed, since reading every cell
// of a big world costs an idle window most of a core. The points go in the cells' order, as drawn
// one by one, so that where points overlap at equal depth the same one wins; each run of one point
// size within a plane is one call.
void WorldWindow::build_arrays() {
    points_.clear();
    runs_.clear();
    plane_runs_.assign(1, 0);
    const Model& model = explorer_.model();
    const Extent extent = model.extent();
    const PointView view = explorer_.points();
    const double speed_top = explorer_.speed_top();
    for (int plane = 0; plane < extent.planes; ++plane) {
        const std::size_t plane_first_run = runs_.size();
        for (int y = 0; y < extent.rows; ++y) {
            const auto row = GLfloat(y - extent.rows / 2);
            for (int x = 0; x < extent.columns; ++x) {
                const Place place{x, y, plane};
                const CellMark mark = shown_mark(model, place, view);
                if (mark == CellMark::NONE) continue;
                const auto size = GLfloat(point_size(mark));
                Colour colour = mark == CellMark::SOLID ? SOLID_COLOUR : MARKER_COLOUR;
                if (mark == CellMark::SMOKE) {
                    colour = view == PointView::SPEED ? speed_colour(model.speed(place).value_or(0), speed_top)
                                                      : smoke_colour(model.smoke(place));
                }
                if (runs_.size() == plane_first_run || runs_.back().size != size) {
                    runs_.push_back({size, int(points_.size()), 0});
                }
                ++runs_.back().count;
                points_.push_back({0, GLfloat(x - extent.columns / 2), row, colour.r, colour.g, colour.b});
            }
        }
        plane_runs_.push_back(int(runs_.size()));
    }
    arrays_changes_ = explorer_.changes();
}

void WorldWindow::setup_context() {
    glClearColor(0, 0, 0, 1);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
    glViewport(0, 0, w(), h());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fovy_degrees(w(), h()), aspect_ratio(w(), h()), near_plane_, far_plane_);
    const GLfloat diffuse[] = {1, 1, 1, 1};
    const GLfloat specular[] = {0, 0, 0, 1};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
}

void WorldWindow::draw() {
    stale_ = false;
    // The toolkit marks the context invalid when it is new and after every resize.
    if (!valid()) setup_context();

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const Point eye = eye_position(camera_);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, camera_.target_x, camera_.target_y, PIVOT_Z, 0, 0, 1);
    // Set after the view, so the light stays fixed in the world as the camera orbits.
    const GLfloat light_position[] = {1, 1, 1, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, light_position);
    draw_cube();
    draw_cells();
    if (explorer_.exploring()) draw_panels();
}

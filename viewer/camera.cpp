#include "viewer/camera.h"

#include <algorithm>
#include <cmath>

namespace {

// A pointer term divided by a window dimension. A window with no extent along that axis has no
// pixels to drag across, so the term is 0 there rather than an infinity.
double per_pixel(float term, int size) { return size > 0 ? double(term) / size : 0.0; }

double radians(float degrees) { return degrees * PI / 180; }

double dot(const Point& a, const Point& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Point unit(const Point& v) {
    const double length = std::sqrt(dot(v, v));
    return {v.x / length, v.y / length, v.z / length};
}

}  // namespace

float wrap_degrees(float degrees) {
    if (!std::isfinite(degrees)) return 0.0f;
    // fmod is exact, as each subtraction of 360 is; only the final addition of 360 rounds.
    float wrapped = std::fmod(degrees, 360.0f);
    if (wrapped < 0.0f) wrapped += 360.0f;
    // A tiny negative angle plus 360 rounds up to 360, which is the same direction as 0.
    return wrapped >= 360.0f ? 0.0f : wrapped;
}

CameraPose orbit(const CameraPose& press, const Drag& drag) {
    CameraPose camera = press;
    const float azimuth = static_cast<float>(press.azimuth + per_pixel(float(drag.dx * 360.0), drag.w));
    camera.azimuth = wrap_degrees(azimuth);
    const float elevation = static_cast<float>(press.elevation + per_pixel(float(drag.dy * 90.0), drag.h));
    camera.elevation = std::clamp(elevation, MIN_ELEVATION, MAX_ELEVATION);
    return camera;
}

CameraPose zoom(const CameraPose& press, const Drag& drag) {
    CameraPose camera = press;
    const float distance =
        static_cast<float>(press.distance - per_pixel(float(0.5 * press.distance * drag.dy), drag.h));
    camera.distance = std::clamp(distance, MIN_DISTANCE, MAX_DISTANCE);
    return camera;
}

CameraPose pan(const CameraPose& press, float azimuth, const Drag& drag) {
    CameraPose camera = press;
    const float s = static_cast<float>(std::sin(radians(azimuth)));
    const float c = static_cast<float>(std::cos(radians(azimuth)));
    const float sideways_x = static_cast<float>(per_pixel(float(drag.dx * double(-s)), drag.w));
    const float sideways_y = static_cast<float>(per_pixel(float(drag.dx * double(c)), drag.w));
    camera.target_x = static_cast<float>(
        press.target_x + 100 * (per_pixel(float(drag.dy * double(c)), drag.h) + sideways_x));
    camera.target_y = static_cast<float>(
        press.target_y + 100 * (per_pixel(float(drag.dy * double(s)), drag.h) + sideways_y));
    return camera;
}

double fovy_degrees(int w, int h) {
    // A window of no size has no shape: draw it as a square rather than divide by zero.
    w = std::max(w, 1);
    h = std::max(h, 1);
    return std::atan(std::tan(45 * PI / 360) * h / w) * (360 / PI);
}

double aspect_ratio(int w, int h) { return double(float(std::max(w, 1))) / std::max(h, 1); }

Point eye_position(const CameraPose& camera) {
    const double el = radians(camera.elevation);
    const double az = radians(camera.azimuth);
    return {std::cos(el) * (std::cos(az) * camera.distance) + camera.target_x,
            std::cos(el) * (std::sin(az) * camera.distance) + camera.target_y,
            std::sin(el) * camera.distance + PIVOT_Z};
}

Projection::Projection(const CameraPose& camera, int w, int h) : w(w), h(h) {
    // gluLookAt's frame: forward toward the pivot, side = forward x up (0, 0, 1), then the true up.
    eye = eye_position(camera);
    forward = unit({camera.target_x - eye.x, camera.target_y - eye.y, PIVOT_Z - eye.z});
    side = unit({forward.y, -forward.x, 0});
    up = {side.y * forward.z - side.z * forward.y, side.z * forward.x - side.x * forward.z,
          side.x * forward.y - side.y * forward.x};
    // gluPerspective: the vertical half field's tangent, and the window's aspect ratio.
    tangent = std::tan(fovy_degrees(w, h) * PI / 360);
    aspect = aspect_ratio(w, h);
}

WindowPoint Projection::operator()(const Point& p) const {
    const Point d = {p.x - eye.x, p.y - eye.y, p.z - eye.z};
    const double depth = dot(forward, d);
    const double ndc_x = dot(side, d) / (depth * tangent * aspect);
    const double ndc_y = dot(up, d) / (depth * tangent);
    return {(ndc_x + 1) * w / 2, (1 - ndc_y) * h / 2, depth};
}

WindowPoint project(const CameraPose& camera, int w, int h, const Point& p) { return Projection(camera, w, h)(p); }

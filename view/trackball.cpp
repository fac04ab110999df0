#include "view/trackball.h"

#include <algorithm>
#include <cmath>

namespace tivarel {

namespace {

constexpr Quat kIdentityQuat{0.0f, 0.0f, 0.0f, 1.0f};

float ToFloat(double v) { return static_cast<float>(v); }

}  // namespace

// ---------------------------------------------------------------- vectors

void Vec3Set(Vec4& v, float x, float y, float z) {
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

void Vec3Sub(const Vec4& a, const Vec4& b, Vec4& dst) {
    for (size_t i = 0; i < 3; ++i) dst[i] = a[i] - b[i];
}

void Vec3Copy(const Vec4& src, Vec4& dst) { dst = src; }

void Vec3Cross(const Vec4& a, const Vec4& b, Vec4& dst) {
    const double x = double(a[1]) * b[2] - double(a[2]) * b[1];
    const double y = double(a[2]) * b[0] - double(a[0]) * b[2];
    const double z = double(a[0]) * b[1] - double(a[1]) * b[0];
    Vec3Set(dst, ToFloat(x), ToFloat(y), ToFloat(z));
}

double Vec3Length(const Vec4& v) { return std::sqrt(Vec3Dot(v, v)); }

void Vec3Scale(Vec4& v, double s) {
    for (size_t i = 0; i < 3; ++i) v[i] = ToFloat(v[i] * s);
}

void Vec3Normalize(Vec4& v) {
    const double length = Vec3Length(v);
    // A zero vector has no direction: leave it zero rather than fill it with NaN.
    if (!(length > 0.0)) return;
    Vec3Scale(v, 1.0 / length);
}

double Vec3Dot(const Vec4& a, const Vec4& b) {
    return double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2];
}

void Vec3Add(const Vec4& a, const Vec4& b, Vec4& dst) {
    for (size_t i = 0; i < 3; ++i) dst[i] = a[i] + b[i];
}

// ---------------------------------------------------------------- trackball and quaternions

float TrackballDepth(float r, float x, float y) {
    const float d = ToFloat(std::sqrt(double(x) * x + double(y) * y));
    // The switch radius is held as float like d, so a point exactly on the
    // switch circle exists and takes the hyperbola (the test is strict).
    const float edge = ToFloat(r * kSphereSwitchFactor);
    if (d < edge) return ToFloat(std::sqrt(double(r) * r - double(d) * d));
    const double t = r / kHyperbolaDivisor;
    return ToFloat(t * t / d);
}

void TrackballQuat(Quat& q, float p1x, float p1y, float p2x, float p2y) {
    if (p1x == p2x && p1y == p2y) {
        q = kIdentityQuat;
        return;
    }
    const float r = ToFloat(kTrackballRadius);
    Vec4 p1{}, p2{}, axis{}, d{};
    Vec3Set(p1, p1x, p1y, TrackballDepth(r, p1x, p1y));
    Vec3Set(p2, p2x, p2y, TrackballDepth(r, p2x, p2y));
    Vec3Cross(p2, p1, axis);
    Vec3Sub(p1, p2, d);
    double t = Vec3Length(d) / kAngleDivisor;
    // Drags longer than the ball's diameter turn by half a turn at most.
    if (t > 1.0) t = 1.0;
    if (t < -1.0) t = -1.0;
    const float phi = ToFloat(2.0 * ArcSine(t));
    QuatFromAxisAngle(axis, phi, q);
}

double ArcSine(double x) {
    if (x == 1.0) return kPi / 2.0;
    return std::atan(x / std::sqrt(1.0 - x * x));
}

void QuatFromAxisAngle(Vec4& a, float phi, Quat& q) {
    Vec3Normalize(a);
    if (a[0] == 0.0f && a[1] == 0.0f && a[2] == 0.0f) {
        q = kIdentityQuat;  // no axis, no rotation
        return;
    }
    Vec3Copy(a, q);
    Vec3Scale(q, std::sin(phi / 2.0));
    q[3] = ToFloat(std::cos(phi / 2.0));
}

void QuatCompose(const Quat& q1, const Quat& q2, Quat& dest) {
    Vec4 t1{}, t2{}, t3{}, tf{};
    Vec3Copy(q1, t1);
    Vec3Scale(t1, q2[3]);
    Vec3Copy(q2, t2);
    Vec3Scale(t2, q1[3]);
    Vec3Cross(q2, q1, t3);
    Vec3Add(t1, t2, tf);
    Vec3Add(t3, tf, tf);
    tf[3] = ToFloat(double(q1[3]) * q2[3] - Vec3Dot(q1, q2));
    // Both inputs are fully read: dest may be either of them.
    dest = tf;
    // Renormalise every time so that rounding cannot build up during a long spin.
    QuatNormalize(dest);
}

void QuatNormalize(Quat& q) {
    const double sum = double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2] +
                       double(q[3]) * q[3];
    const float m = ToFloat(std::sqrt(sum));
    if (!(m > 0.0f)) {
        q = kIdentityQuat;  // a zero quaternion is no rotation
        return;
    }
    for (size_t i = 0; i < 4; ++i) q[i] = q[i] / m;
}

void QuatToMatrix(Mat4& m, const Quat& q) {
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    m = Mat4{ToFloat(1.0 - 2.0 * (y * y + z * z)), ToFloat(2.0 * (x * y - z * w)),
             ToFloat(2.0 * (z * x + y * w)),       0.0f,
             ToFloat(2.0 * (x * y + z * w)),       ToFloat(1.0 - 2.0 * (z * z + x * x)),
             ToFloat(2.0 * (y * z - x * w)),       0.0f,
             ToFloat(2.0 * (z * x - y * w)),       ToFloat(2.0 * (y * z + x * w)),
             ToFloat(1.0 - 2.0 * (y * y + x * x)), 0.0f,
             0.0f, 0.0f, 0.0f, 1.0f};
}

// ---------------------------------------------------------------- cofactor inverse

namespace {

void WriteIdentityBlock(Mat4& b) {
    for (size_t k : {0u, 1u, 2u, 4u, 5u, 6u, 8u, 9u, 10u}) b[k] = (k % 5 == 0) ? 1.0f : 0.0f;
}

}  // namespace

void CofactorInverse(const Mat4& a, Mat4& b) {
    auto e = [&a](size_t k) { return double(a[k]); };
    const float det = ToFloat(e(0) * e(5) * e(10) + e(2) * e(4) * e(9) + e(1) * e(6) * e(8) -
                              e(2) * e(5) * e(8) - e(0) * e(6) * e(9) - e(1) * e(4) * e(10));
    const float inv = 1.0f / det;
    // A singular block has no inverse: fall back to no rotation instead of inf/NaN.
    if (!std::isfinite(inv)) {
        WriteIdentityBlock(b);
        return;
    }
    b[0] = ToFloat((e(5) * e(10) - e(6) * e(9)) * inv);
    b[1] = ToFloat(-(e(4) * e(10) - e(6) * e(8)) * inv);
    b[2] = ToFloat((e(4) * e(9) - e(5) * e(8)) * inv);
    b[4] = ToFloat(-(e(1) * e(10) - e(2) * e(9)) * inv);
    b[5] = ToFloat((e(0) * e(10) - e(2) * e(8)) * inv);
    b[6] = ToFloat(-(e(0) * e(9) - e(1) * e(8)) * inv);
    b[8] = ToFloat((e(1) * e(6) - e(2) * e(5)) * inv);
    b[9] = ToFloat(-(e(0) * e(6) - e(2) * e(4)) * inv);
    b[10] = ToFloat((e(0) * e(5) - e(1) * e(4)) * inv);
}

// ---------------------------------------------------------------- view state and navigation

namespace {

// Window coordinates are kept as 16-bit integers, nearest with ties to even.
int16_t ToWindowUnit(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<int16_t>(std::nearbyint(std::clamp(double(v), -32768.0, 32767.0)));
}

void RememberPoint(ViewState& view, float x, float y) {
    view.lastX = ToWindowUnit(x);
    view.lastY = ToWindowUnit(y);
}

// Moving up by the whole height doubles the scale; moving down shrinks it.
void ZoomStep(ViewState& view, float y, int h) {
    view.zoomScale = ToFloat(view.zoomScale * (1.0 + (view.lastY - double(y)) / h));
}

// The window is mapped to -1..1 in both directions, y pointing up.
void RotateStep(ViewState& view, float x, float y, int w, int h) {
    const int64_t lastPx = 2 * int64_t{view.lastX} - w;
    const int64_t lastPy = h - 2 * int64_t{view.lastY};
    const float p1x = ToFloat(double(lastPx) / w);
    const float p1y = ToFloat(double(lastPy) / h);
    const float p2x = ToFloat((2.0 * x - w) / w);
    const float p2y = ToFloat((h - 2.0 * y) / h);
    TrackballQuat(view.dragQuat, p1x, p1y, p2x, p2y);
}

// Screen axes in model space (the keyboard prelude); any key stops the spin.
Mat4 ScreenAxes(ViewState& view) {
    Mat4 a{}, b{};
    QuatToMatrix(a, view.viewQuat);
    CofactorInverse(a, b);
    view.isSpinning = false;
    return b;
}

// modelShift += step * (b[first], b[first + 4], b[first + 8]).
void ShiftAlong(ViewState& view, const Mat4& b, size_t first, double step) {
    for (size_t i = 0; i < 3; ++i)
        view.modelShift[i] = ToFloat(view.modelShift[i] + step * b[first + 4 * i]);
}

// a * b as GL multiplies matrices: each element the sum of its four products, in order.
Mat4 MatProduct(const Mat4& a, const Mat4& b) {
    Mat4 c{};
    for (size_t col = 0; col < 4; ++col)
        for (size_t row = 0; row < 4; ++row)
            c[col * 4 + row] = a[row] * b[col * 4] + a[4 + row] * b[col * 4 + 1] + a[8 + row] * b[col * 4 + 2] +
                               a[12 + row] * b[col * 4 + 3];
    return c;
}

}  // namespace

void ResetViewState(ViewState& view) {
    view.isRotating = view.isZooming = view.isSpinning = false;
    view.zoomScale = view.startZoom;
    view.modelShift = {};
    view.viewQuat = {};
    view.dragQuat = {};
    TrackballQuat(view.viewQuat, 0.0f, 0.0f, 0.0f, 0.0f);
}

void SpinStep(ViewState& view) { QuatCompose(view.dragQuat, view.viewQuat, view.viewQuat); }

void MouseDown(ViewState& view, MouseButton button, Modifiers modifiers, float x, float y) {
    if (button != MouseButton::Left) return;
    view.isSpinning = false;
    view.isRotating = true;
    RememberPoint(view, x, y);
    view.isZooming = modifiers.shiftOnly();
}

void MouseUp(ViewState& view, MouseButton button) {
    if (button != MouseButton::Left) return;
    view.isRotating = false;
    view.isZooming = false;
}

bool MouseMove(ViewState& view, float x, float y, int width, int height) {
    // A collapsed window counts as one pixel, so no step divides by zero.
    const int w = std::max(width, 1);
    const int h = std::max(height, 1);
    if (view.isZooming) {
        ZoomStep(view, y, h);
        RememberPoint(view, x, y);
        return true;
    }
    if (!view.isRotating) return false;
    RotateStep(view, x, y, w, h);
    RememberPoint(view, x, y);
    view.isSpinning = true;
    return false;
}

void KeyDownMove(ViewState& view, Key key) {
    const Mat4 b = ScreenAxes(view);
    if (key == Key::Up) ShiftAlong(view, b, 1, -kKeyStep);
    if (key == Key::Down) ShiftAlong(view, b, 1, kKeyStep);
    if (key == Key::Right) ShiftAlong(view, b, 0, -kKeyStep);
    if (key == Key::Left) ShiftAlong(view, b, 0, kKeyStep);
}

void KeyPressMove(ViewState& view, char character) {
    const Mat4 b = ScreenAxes(view);
    if (character == 'a') ShiftAlong(view, b, 2, kKeyStep);
    if (character == 's') ShiftAlong(view, b, 2, -kKeyStep);
    if (character == 'c') {
        view.modelShift = {};
        view.zoomScale = view.startZoom;
    }
}

void SetViewQuat(ViewState& view, ViewAxis axis) {
    view.isRotating = view.isZooming = view.isSpinning = false;
    const float s = ToFloat(std::sqrt(0.5));
    switch (axis) {
    case ViewAxis::X: view.viewQuat = {0.0f, s, s, 0.0f}; break;
    case ViewAxis::Y: view.viewQuat = {s, 0.0f, s, 0.0f}; break;
    case ViewAxis::Z: view.viewQuat = {s, s, 0.0f, 0.0f}; break;
    }
    view.modelShift = {};
}

Mat4 ModelViewMatrix(const ViewState& view) {
    // Built as GL's own calls build it from the identity, step by step in their
    // arithmetic: so the matrix loaded is, to the bit, the one those calls gave.
    constexpr Mat4 kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Mat4 rotation{};
    QuatToMatrix(rotation, view.viewQuat);
    Mat4 m = MatProduct(kIdentity, rotation);
    const auto& [x, y, z] = view.modelShift;
    for (size_t row = 0; row < 4; ++row) m[12 + row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
    for (size_t k = 0; k < 12; ++k) m[k] *= view.zoomScale;
    return m;
}

}  // namespace tivarel

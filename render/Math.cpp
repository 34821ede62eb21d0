#include "render/Math.h"

#include <cmath>

// Everything stays in single precision; only the library calls run in double
// and are narrowed straight back. Nothing checks for zero-length vectors: the
// camera relies on a degenerate look-at producing non-finite rows, not a trap.

Mat4::Mat4() : m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} {}

Mat4::Mat4(float s) : m{s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, 0, 0, 0, s} {}

float dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 cross(const Vec3& a, const Vec3& b)
{
    return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

Vec3 normalize(const Vec3& v)
{
    float length = static_cast<float>(std::sqrt(static_cast<double>(dot(v, v))));
    float inverse = 1.0f / length;
    return v * inverse;
}

namespace {

// Column c of m times s, all four rows.
inline void AddScaledColumn(float* out, const Mat4& m, int c, float s)
{
    const float* column = m[c];
    out[0] += column[0] * s;
    out[1] += column[1] * s;
    out[2] += column[2] * s;
    out[3] += column[3] * s;
}

}  // namespace

Mat4 translate(const Mat4& m, const Vec3& v)
{
    Mat4 result = m;
    float* column = result[3];
    for (int r = 0; r < 4; ++r)
        column[r] = m[0][r] * v.x + m[1][r] * v.y + m[2][r] * v.z + m[3][r];
    return result;
}

Mat4 rotate(const Mat4& m, float angleDegrees, const Vec3& axis)
{
    const float a = angleDegrees * 0.017453292f;
    const float c = static_cast<float>(std::cos(static_cast<double>(a)));
    const float s = static_cast<float>(std::sin(static_cast<double>(a)));
    const Vec3 n = normalize(axis);
    const Vec3 t = n * (1.0f - c);

    const float r[3][3] = {
        {c + t.x * n.x, t.x * n.y + s * n.z, t.x * n.z - s * n.y},
        {t.y * n.x - s * n.z, c + t.y * n.y, t.y * n.z + s * n.x},
        {t.z * n.x + s * n.y, t.z * n.y - s * n.x, c + t.z * n.z},
    };

    Mat4 result(0.0f);
    for (int i = 0; i < 3; ++i) {
        float* out = result[i];
        AddScaledColumn(out, m, 0, r[i][0]);
        AddScaledColumn(out, m, 1, r[i][1]);
        AddScaledColumn(out, m, 2, r[i][2]);
    }
    for (int row = 0; row < 4; ++row)
        result[3][row] = m[3][row];
    return result;
}

Mat4 scale(const Mat4& m, const Vec3& v)
{
    Mat4 result = m;
    const float factors[3] = {v.x, v.y, v.z};
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            result[c][r] = m[c][r] * factors[c];
    return result;
}

Mat4 lookAt(const Vec3& eye, const Vec3& target, const Vec3& up)
{
    const Vec3 f = normalize(target - eye);
    Vec3 u = normalize(up);
    const Vec3 s = normalize(cross(f, u));
    u = cross(s, f);

    Mat4 result;
    result[0][0] = s.x;
    result[1][0] = s.y;
    result[2][0] = s.z;
    result[0][1] = u.x;
    result[1][1] = u.y;
    result[2][1] = u.z;
    result[0][2] = -f.x;
    result[1][2] = -f.y;
    result[2][2] = -f.z;
    result[3][0] = -dot(s, eye);
    result[3][1] = -dot(u, eye);
    result[3][2] = dot(f, eye);
    return result;
}

Mat4 perspective(float fovyRadians, float aspect, float nearPlane, float farPlane)
{
    const float range =
        static_cast<float>(std::tan(static_cast<double>(fovyRadians / 2.0f))) * nearPlane;
    const float left = -range * aspect;
    const float right = range * aspect;
    const float bottom = -range;
    const float top = range;

    Mat4 result(0.0f);
    result[0][0] = (2.0f * nearPlane) / (right - left);
    result[1][1] = (2.0f * nearPlane) / (top - bottom);
    result[2][2] = -(farPlane + nearPlane) / (farPlane - nearPlane);
    result[2][3] = -1.0f;
    result[3][2] = -(2.0f * farPlane * nearPlane) / (farPlane - nearPlane);
    return result;
}

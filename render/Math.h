#pragma once

// Single-precision vectors and column-major matrices in the layout OpenGL takes
// without transposition. Builders multiply on the right: translate, then
// rotate, then scale yields T * R * S.

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vec3() = default;
    Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return Vec3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return Vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline Vec3 operator*(const Vec3& v, float s) { return Vec3(v.x * s, v.y * s, v.z * s); }
inline Vec3 operator-(const Vec3& v) { return Vec3(-v.x, -v.y, -v.z); }

struct Mat4 {
    // Element (column c, row r) at index 4 * c + r.
    float m[16];

    Mat4();          // identity
    explicit Mat4(float s);  // s on the diagonal, 0 elsewhere

    float* operator[](int column) { return &m[4 * column]; }
    const float* operator[](int column) const { return &m[4 * column]; }
    const float* Data() const { return m; }
};

float dot(const Vec3& a, const Vec3& b);
Vec3 cross(const Vec3& a, const Vec3& b);
Vec3 normalize(const Vec3& v);

Mat4 translate(const Mat4& m, const Vec3& v);
Mat4 rotate(const Mat4& m, float angleDegrees, const Vec3& axis);
Mat4 scale(const Mat4& m, const Vec3& v);
Mat4 lookAt(const Vec3& eye, const Vec3& target, const Vec3& up);
Mat4 perspective(float fovyRadians, float aspect, float nearPlane, float farPlane);

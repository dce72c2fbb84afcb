// The layer's matrices, column-major as GL keeps them, with Mesa's arithmetic order.
#include "standin/gl/internal.h"

#include <cmath>

namespace legacygl {

// a * b
Matrix product(const Matrix& a, const Matrix& b) {
    Matrix p;
    for (int i = 0; i < 4; ++i) {
        const float ai0 = a.m[i], ai1 = a.m[4 + i], ai2 = a.m[8 + i], ai3 = a.m[12 + i];
        for (int j = 0; j < 4; ++j)
            p.m[4 * j + i] = ai0 * b.m[4 * j] + ai1 * b.m[4 * j + 1] + ai2 * b.m[4 * j + 2] +
                             ai3 * b.m[4 * j + 3];
    }
    return p;
}

Matrix rotation(float angle, float x, float y, float z) {
    const float s = float(std::sin(angle * M_PI / 180.0));
    const float c = float(std::cos(angle * M_PI / 180.0));
    Matrix r;
    auto at = [&r](int row, int col) -> float& { return r.m[col * 4 + row]; };
    // Rotations about one axis are built exactly, the general one from the unit axis.
    if (x == 0 && y == 0 && z != 0) {
        at(0, 0) = c;
        at(1, 1) = c;
        at(0, 1) = z < 0 ? s : -s;
        at(1, 0) = z < 0 ? -s : s;
    } else if (x == 0 && z == 0 && y != 0) {
        at(0, 0) = c;
        at(2, 2) = c;
        at(0, 2) = y < 0 ? -s : s;
        at(2, 0) = y < 0 ? s : -s;
    } else if (y == 0 && z == 0 && x != 0) {
        at(1, 1) = c;
        at(2, 2) = c;
        at(1, 2) = x < 0 ? s : -s;
        at(2, 1) = x < 0 ? -s : s;
    } else {
        const float length = std::sqrt(x * x + y * y + z * z);
        if (length <= 1.0e-4f) return r;
        x /= length;
        y /= length;
        z /= length;
        const float oneMinusC = 1.0f - c;
        at(0, 0) = oneMinusC * x * x + c;
        at(0, 1) = oneMinusC * x * y - z * s;
        at(0, 2) = oneMinusC * z * x + y * s;
        at(1, 0) = oneMinusC * x * y + z * s;
        at(1, 1) = oneMinusC * y * y + c;
        at(1, 2) = oneMinusC * y * z - x * s;
        at(2, 0) = oneMinusC * z * x - y * s;
        at(2, 1) = oneMinusC * y * z + x * s;
        at(2, 2) = oneMinusC * z * z + c;
    }
    return r;
}

// The transpose of the inverse of the upper-left 3x3 block, column-major; what GL transforms
// normals with. A singular block gives zeros.
void normalMatrix(const Matrix& a, float out[9]) {
    const double m00 = a.m[0], m01 = a.m[4], m02 = a.m[8];
    const double m10 = a.m[1], m11 = a.m[5], m12 = a.m[9];
    const double m20 = a.m[2], m21 = a.m[6], m22 = a.m[10];
    const double c00 = m11 * m22 - m12 * m21, c01 = m12 * m20 - m10 * m22,
                 c02 = m10 * m21 - m11 * m20;
    const double c10 = m02 * m21 - m01 * m22, c11 = m00 * m22 - m02 * m20,
                 c12 = m01 * m20 - m00 * m21;
    const double c20 = m01 * m12 - m02 * m11, c21 = m02 * m10 - m00 * m12,
                 c22 = m00 * m11 - m01 * m10;
    const double det = m00 * c00 + m01 * c01 + m02 * c02;
    const double inv = det != 0 ? 1 / det : 0;
    // inverse(row i, col j) = cofactor(j, i) / det, so its transpose holds cofactor(i, j).
    const double t[3][3] = {{c00, c01, c02}, {c10, c11, c12}, {c20, c21, c22}};
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row)
            out[col * 3 + row] = float(t[row][col] * inv);
}

Matrix fromDoubles(const GLdouble* m) {
    Matrix r;
    for (int i = 0; i < 16; ++i)
        r.m[i] = float(m[i]);
    return r;
}

} // namespace legacygl

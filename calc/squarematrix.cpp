#include "calc/squarematrix.h"

#include <cmath>
#include <iostream>
#include <limits>
#include <new>

SquareMatrix::SquareMatrix(int n)
{
    if (n < 0)
        throw std::bad_array_new_length();
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(n);
    if (n != 0 && count / static_cast<size_t>(n) != static_cast<size_t>(n))
        throw std::bad_array_new_length();
    if (count > std::vector<double>().max_size())
        throw std::bad_array_new_length();
    m_n = n;
    m_data.assign(count, 0.0);
}

SquareMatrix SquareMatrix::identity(int n)
{
    SquareMatrix m(n);
    for (int i = 0; i < n; ++i)
        m[i][i] = 1.0;
    return m;
}

SquareMatrix matrixCopy(const SquareMatrix &a, int n)
{
    SquareMatrix c(n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            c[i][j] = a[i][j];
    return c;
}

SquareMatrix matrixMultiply(const SquareMatrix &a, const SquareMatrix &b, int n)
{
    SquareMatrix c(n);
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < n; ++k) {
            long double sum = 0.0L;
            for (int j = 0; j < n; ++j)
                sum += static_cast<long double>(a[i][j]) * b[j][k];
            c[i][k] = static_cast<double>(sum);
        }
    }
    return c;
}

Vector matrixVectorMultiply(const SquareMatrix &a, const Vector &x, int n)
{
    Vector y(static_cast<size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) {
        long double sum = 0.0L;
        for (int k = 0; k < n; ++k)
            sum += static_cast<long double>(a[i][k]) * x[static_cast<size_t>(k)];
        y[static_cast<size_t>(i)] = static_cast<double>(sum);
    }
    return y;
}

void matrixAddInPlace(SquareMatrix &a, const SquareMatrix &b, int n)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            a[i][j] = static_cast<double>(static_cast<long double>(a[i][j]) + b[i][j]);
}

// Elimination without pivoting, deliberately: the determinant doubles as the
// singularity test of the inverse, and a zero pivot has to show up as an
// infinite or NaN determinant rather than be worked around.
double matrixDeterminant(const SquareMatrix &a, int n)
{
    SquareMatrix m = matrixCopy(a, n);
    for (int i = 0; i < n - 1; ++i) {
        for (int r = i + 1; r < n; ++r) {
            const long double f = static_cast<long double>(m[r][i]) / m[i][i];
            for (int c = i; c < n; ++c)
                m[r][c] = static_cast<double>(m[r][c] - f * m[i][c]);
        }
    }
    long double det = 1.0L;
    for (int i = 0; i < n; ++i)
        det *= m[i][i];
    return static_cast<double>(det);
}

SquareMatrix matrixInverse(const SquareMatrix &a, int n, InverseReport *report)
{
    InverseReport local;
    InverseReport &rep = report ? *report : local;
    rep = InverseReport();

    long double norm1 = 0.0L;      // largest column sum
    long double normInf = 0.0L;    // largest row sum
    for (int c = 0; c < n; ++c) {
        long double sum = 0.0L;
        for (int r = 0; r < n; ++r)
            sum += std::fabs(static_cast<long double>(a[r][c]));
        if (sum > norm1)
            norm1 = sum;
    }
    for (int r = 0; r < n; ++r) {
        long double sum = 0.0L;
        for (int c = 0; c < n; ++c)
            sum += std::fabs(static_cast<long double>(a[r][c]));
        if (sum > normInf)
            normInf = sum;
    }

    // The scaled transpose makes A*X0 symmetric positive semi-definite with
    // every eigenvalue in (0, 1], from where the iteration cannot diverge.
    const long double scale = 1.0L / (norm1 * normInf);
    SquareMatrix x(n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            x[r][c] = static_cast<double>(a[c][r] * scale);

    if (matrixDeterminant(a, n) == 0.0) {
        rep.singular = true;
        std::cout << "Impossible\n";
        return x;
    }

    // Stops on det(A*X) == 1 rather than on a residual norm; a NaN
    // determinant ends the loop at once as well.
    while (std::fabs(matrixDeterminant(matrixMultiply(a, x, n), n) - 1.0) >= kInverseTolerance) {
        if (rep.iterations >= kInverseIterationCap) {
            rep.capped = true;
            std::cout << "Impossible\n";
            return x;
        }
        const SquareMatrix t = x;
        SquareMatrix p = matrixMultiply(a, t, n);
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                p[r][c] = -p[r][c] + (r == c ? 2.0 : 0.0);
        x = matrixMultiply(t, p, n);
        ++rep.iterations;
    }
    return x;
}

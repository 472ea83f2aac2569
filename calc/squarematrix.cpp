#include "calc/squarematrix.h"

#include <algorithm>
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

double backwardError(const SquareMatrix &a, const Vector &x, const Vector &r, int n)
{
    long double worst = 0.0L;
    for (int i = 0; i < n; ++i) {
        long double res = r[static_cast<size_t>(i)];
        long double scale = std::fabs(static_cast<long double>(r[static_cast<size_t>(i)]));
        for (int k = 0; k < n; ++k) {
            const long double term = static_cast<long double>(a[i][k]) * x[static_cast<size_t>(k)];
            res -= term;
            scale += std::fabs(term);
        }
        if (!std::isfinite(static_cast<double>(res)) || !std::isfinite(static_cast<double>(scale)))
            return std::numeric_limits<double>::infinity();
        if (res == 0.0L)
            continue;
        if (scale == 0.0L)
            return std::numeric_limits<double>::infinity();
        worst = std::max(worst, std::fabs(res) / scale);
    }
    return static_cast<double>(worst);
}

namespace {

using LongRow = std::vector<long double>;

// Largest |element| of every column; 1 where a column is all zero, so that
// scaling never divides by zero.
std::vector<long double> columnScales(const SquareMatrix &a, int n)
{
    std::vector<long double> s(static_cast<size_t>(n), 1.0L);
    for (int c = 0; c < n; ++c) {
        long double m = 0.0L;
        for (int r = 0; r < n; ++r)
            m = std::max(m, std::fabs(static_cast<long double>(a[r][c])));
        if (m > 0.0L && std::isfinite(static_cast<double>(m)))
            s[static_cast<size_t>(c)] = m;
    }
    return s;
}

// LU factors of the column-scaled matrix with the row order of the pivots.
struct LuFactors
{
    int n = 0;
    std::vector<LongRow> lu;
    std::vector<int> perm;
    std::vector<long double> scale;
    bool ok = false;

    LuFactors(const SquareMatrix &a, int size) : n(size)
    {
        scale = columnScales(a, n);
        lu.assign(static_cast<size_t>(n), LongRow(static_cast<size_t>(n)));
        perm.resize(static_cast<size_t>(n));
        for (int r = 0; r < n; ++r) {
            perm[static_cast<size_t>(r)] = r;
            for (int c = 0; c < n; ++c)
                lu[r][c] = static_cast<long double>(a[r][c]) / scale[static_cast<size_t>(c)];
        }
        for (int i = 0; i < n; ++i) {
            int p = i;
            for (int r = i + 1; r < n; ++r)
                if (std::fabs(lu[r][i]) > std::fabs(lu[p][i]))
                    p = r;
            std::swap(lu[i], lu[p]);
            std::swap(perm[static_cast<size_t>(i)], perm[static_cast<size_t>(p)]);
            if (lu[i][i] == 0.0L || !std::isfinite(static_cast<double>(lu[i][i])))
                return;
            for (int r = i + 1; r < n; ++r) {
                const long double f = lu[r][i] / lu[i][i];
                lu[r][i] = f;
                for (int c = i + 1; c < n; ++c)
                    lu[r][c] -= f * lu[i][c];
            }
        }
        ok = true;
    }

    // The solution of the original (unscaled) system for right-hand side b.
    std::vector<long double> solve(const std::vector<long double> &b) const
    {
        std::vector<long double> y(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            long double v = b[static_cast<size_t>(perm[static_cast<size_t>(i)])];
            for (int k = 0; k < i; ++k)
                v -= lu[i][k] * y[static_cast<size_t>(k)];
            y[static_cast<size_t>(i)] = v;
        }
        for (int i = n - 1; i >= 0; --i) {
            long double v = y[static_cast<size_t>(i)];
            for (int k = i + 1; k < n; ++k)
                v -= lu[i][k] * y[static_cast<size_t>(k)];
            y[static_cast<size_t>(i)] = v / lu[i][i];
        }
        for (int i = 0; i < n; ++i)
            y[static_cast<size_t>(i)] /= scale[static_cast<size_t>(i)];
        return y;
    }
};

std::vector<long double> residual(const SquareMatrix &a, const Vector &x, const Vector &r, int n)
{
    std::vector<long double> res(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        long double v = r[static_cast<size_t>(i)];
        for (int k = 0; k < n; ++k)
            v -= static_cast<long double>(a[i][k]) * x[static_cast<size_t>(k)];
        res[static_cast<size_t>(i)] = v;
    }
    return res;
}

// Iterative refinement: x += correction(r - A x) while the backward error
// keeps falling; the residual is formed in long double, so each round wins
// back what the correction's own rounding lost.
template <typename Correction>
double refine(const SquareMatrix &a, const Vector &r, int n, Vector &x, double err, Correction correction)
{
    for (int round = 0; round < 30 && err > 0.0; ++round) {
        const std::vector<long double> d = correction(residual(a, x, r, n));
        Vector next = x;
        for (int i = 0; i < n; ++i)
            next[static_cast<size_t>(i)] = static_cast<double>(next[static_cast<size_t>(i)] + d[static_cast<size_t>(i)]);
        const double nextErr = backwardError(a, next, r, n);
        if (!(nextErr < err))
            break;
        x = next;
        err = nextErr;
    }
    return err;
}

} // namespace

bool matrixSolveDirect(const SquareMatrix &a, const Vector &r, int n, Vector *x)
{
    const LuFactors f(a, n);
    if (!f.ok)
        return false;
    const std::vector<long double> y = f.solve(std::vector<long double>(r.begin(), r.end()));
    x->assign(static_cast<size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) {
        (*x)[static_cast<size_t>(i)] = static_cast<double>(y[static_cast<size_t>(i)]);
        if (!std::isfinite((*x)[static_cast<size_t>(i)]))
            return false;
    }
    return true;
}

double matrixConditionNumber(const SquareMatrix &a, int n)
{
    const LuFactors f(a, n);
    if (!f.ok)
        return std::numeric_limits<double>::infinity();
    // Norms of the scaled matrix S = A D^-1 and of its inverse D A^-1.
    long double normA = 0.0L;
    for (int r = 0; r < n; ++r) {
        long double sum = 0.0L;
        for (int c = 0; c < n; ++c)
            sum += std::fabs(static_cast<long double>(a[r][c]) / f.scale[static_cast<size_t>(c)]);
        normA = std::max(normA, sum);
    }
    std::vector<LongRow> inv(static_cast<size_t>(n), LongRow(static_cast<size_t>(n)));
    for (int c = 0; c < n; ++c) {
        std::vector<long double> e(static_cast<size_t>(n), 0.0L);
        e[static_cast<size_t>(c)] = 1.0L;
        const std::vector<long double> col = f.solve(e);
        for (int r = 0; r < n; ++r)
            inv[r][c] = col[static_cast<size_t>(r)] * f.scale[static_cast<size_t>(r)];
    }
    long double normInv = 0.0L;
    for (int r = 0; r < n; ++r) {
        long double sum = 0.0L;
        for (int c = 0; c < n; ++c)
            sum += std::fabs(inv[r][c]);
        normInv = std::max(normInv, sum);
    }
    const double k = static_cast<double>(normA * normInv);
    return std::isfinite(k) ? k : std::numeric_limits<double>::infinity();
}

LinearSolve solveLinearSystem(const SquareMatrix &a, const Vector &r, int n)
{
    LinearSolve out;
    const SquareMatrix inverse = matrixInverse(a, n, &out.inverse);
    out.x = matrixVectorMultiply(inverse, r, n);
    out.backwardError = out.iteratedError = backwardError(a, out.x, r, n);
    if (out.backwardError <= kSolveTolerance) {
        out.method = LinearSolve::Iterated;
        return out;
    }

    // The iterated inverse as the correction: cheap, and enough wherever it
    // is a fair approximation of the inverse.
    if (std::isfinite(out.backwardError)) {
        Vector x = out.x;
        const double err = refine(a, r, n, x, out.backwardError, [&](const std::vector<long double> &res) {
            std::vector<long double> d(static_cast<size_t>(n), 0.0L);
            for (int i = 0; i < n; ++i)
                for (int k = 0; k < n; ++k)
                    d[static_cast<size_t>(i)] += static_cast<long double>(inverse[i][k]) * res[static_cast<size_t>(k)];
            return d;
        });
        if (err < out.backwardError) {
            out.x = x;
            out.backwardError = err;
        }
        if (err <= kSolveTolerance) {
            out.method = LinearSolve::Refined;
            return out;
        }
    }

    const LuFactors f(a, n);
    if (f.ok) {
        const std::vector<long double> y = f.solve(std::vector<long double>(r.begin(), r.end()));
        Vector x(y.begin(), y.end());
        double err = backwardError(a, x, r, n);
        err = refine(a, r, n, x, err, [&](const std::vector<long double> &res) { return f.solve(res); });
        if (!(err >= out.backwardError)) {
            out.x = x;
            out.backwardError = err;
        }
        if (err <= kSolveTolerance) {
            out.method = LinearSolve::Direct;
            return out;
        }
    }
    out.method = LinearSolve::Failed;
    return out;
}

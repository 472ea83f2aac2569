#include "calc/calibrationpointset.h"

#include <algorithm>
#include <cmath>

void CalibrationPointSet::reset()
{
    sx1 = sy1 = sxy1 = sxx1 = 0;
    sx2 = sy2 = sxy2 = sxx2 = 0;
    k1 = b1 = k2 = b2 = 0;
    m_count = 0;
    m_v1.clear();
    m_pPlus.clear();
    m_v2.clear();
    m_pMinus.clear();
}

void CalibrationPointSet::addPoint(float v1, float v2, float v3, float v4, float pPlus, float pMinus)
{
    Q_UNUSED(v3);
    Q_UNUSED(v4);

    // Single-precision running sums (see the class comment).
    sx1 += pPlus;
    sy1 += v1;
    sxy1 += v1 * pPlus;
    sxx1 += pPlus * pPlus;

    sx2 += pMinus;
    sy2 += v2;
    sxy2 += v2 * pMinus;
    sxx2 += pMinus * pMinus;

    ++m_count;
    if (m_count > 1) {
        const float n = static_cast<float>(m_count);
        k1 = (n * sxy1 - sx1 * sy1) / (n * sxx1 - sx1 * sx1);
        b1 = (sy1 - sx1 * k1) / n;
        k2 = (n * sxy2 - sx2 * sy2) / (n * sxx2 - sx2 * sx2);
        b2 = (sy2 - sx2 * k2) / n;
    }

    m_v1.append(v1);
    m_pPlus.append(pPlus);
    m_v2.append(v2);
    m_pMinus.append(pMinus);
}

namespace {

// Least squares over t = (x - mid) / half, which lies in -1..1, whose
// normal matrix is well conditioned whatever x's offset; the coefficients
// are then expanded back into powers of x in long double. False when the
// points do not determine the polynomial.
bool centredFit(const QVector<double> &x, const QVector<double> &y, int degree, QVector<double> *coef)
{
    const int n = degree + 1;
    double lo = x.front(), hi = x.front();
    for (double v : x) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    const long double mid = (static_cast<long double>(lo) + hi) / 2;
    const long double half = (static_cast<long double>(hi) - lo) / 2;
    if (!(half > 0))
        return false;

    SquareMatrix normal(n);
    Vector rhs(static_cast<size_t>(n), 0.0);
    for (int j = 0; j < n; ++j) {
        for (int l = 0; l < n; ++l) {
            long double sum = 0.0L;
            for (int i = 0; i < x.size(); ++i)
                sum += std::pow((x[i] - mid) / half, j + l);
            normal[j][l] = static_cast<double>(sum);
        }
        long double sum = 0.0L;
        for (int i = 0; i < x.size(); ++i)
            sum += std::pow((x[i] - mid) / half, j) * y[i];
        rhs[static_cast<size_t>(j)] = static_cast<double>(sum);
    }
    const LinearSolve solved = solveLinearSystem(normal, rhs, n);
    if (!solved.ok())
        return false;

    // sum_k d_k ((x - mid) / half)^k = sum_j c_j x^j with
    // c_j = sum_{k >= j} d_k C(k, j) (-mid)^(k - j) / half^k.
    std::vector<long double> c(static_cast<size_t>(n), 0.0L);
    for (int k = 0; k < n; ++k) {
        long double binom = 1.0L;   // C(k, j), j from 0 up
        for (int j = 0; j <= k; ++j) {
            c[static_cast<size_t>(j)] += solved.x[static_cast<size_t>(k)] * binom * std::pow(-mid, k - j)
                                         / std::pow(half, k);
            binom = binom * (k - j) / (j + 1);
        }
    }
    coef->clear();
    for (long double v : c) {
        if (!std::isfinite(static_cast<double>(v)))
            return false;
        coef->append(static_cast<double>(v));
    }
    return true;
}

double valueAt(const QVector<double> &c, double x)
{
    long double v = 0.0L;
    for (int k = c.size() - 1; k >= 0; --k)
        v = v * x + c[k];
    return static_cast<double>(v);
}

} // namespace

void CalibrationPointSet::fitPolynomial(int degree)
{
    const int n = degree + 1;
    SquareMatrix normal(n);
    Vector rhs(static_cast<size_t>(n), 0.0);
    m_fit = FitReport();

    // Sums of the powers, each power built by repeated multiplication. The
    // sums are doubles: the normal matrix of a cubic over a signal far from
    // zero (a capacitive difference of 40..48 kHz) is so close to singular
    // that the rounding of single-precision sums alone puts the fit some
    // 0.3 % of full scale off.
    for (int j = 0; j < n; ++j) {
        for (int l = 0; l < n; ++l) {
            double sum = 0.0;
            for (int i = 0; i < m_v1.size(); ++i) {
                double p = 1.0;
                for (int k = 0; k < j + l; ++k)
                    p *= m_v1[i];
                sum += p;
            }
            normal[j][l] = sum;
        }
    }
    for (int l = 0; l < n; ++l) {
        double sum = 0.0;
        for (int i = 0; i < m_v1.size(); ++i) {
            double p = 1.0;
            for (int k = 0; k < l; ++k)
                p *= m_v1[i];
            sum += p * m_pPlus[i];
        }
        rhs[static_cast<size_t>(l)] = sum;
    }

    // The toolkit's iterated inverse, refined or replaced by a direct solve
    // where it misses the equations' tolerance.
    m_fit.normal = solveLinearSystem(normal, rhs, n);
    m_coef = QVector<double>(m_fit.normal.x.begin(), m_fit.normal.x.end());

    QVector<double> sorted = m_v1;
    std::sort(sorted.begin(), sorted.end());
    m_fit.distinctX = int(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
    // Fewer different signals than coefficients leave the polynomial open.
    if (m_fit.distinctX < n)
        return;

    QVector<double> accurate;
    if (!centredFit(m_v1, m_pPlus, degree, &accurate)) {
        m_fit.ok = m_fit.normal.ok();
        return;
    }
    double scale = 0, deviation = 0;
    for (int i = 0; i < m_v1.size(); ++i) {
        scale = std::max(scale, std::fabs(m_pPlus[i]));
        deviation = std::max(deviation, std::fabs(valueAt(m_coef, m_v1[i]) - valueAt(accurate, m_v1[i])));
    }
    m_fit.deviation = scale > 0 ? deviation / scale : deviation;
    if (!m_fit.normal.ok() || !(m_fit.deviation <= FitAgreement)) {
        m_coef = accurate;
        m_fit.centred = true;
    }
    m_fit.ok = true;
}

void CalibrationPointSet::makeRepresentable(Representable representable)
{
    if (!m_fit.ok || m_coef.isEmpty())
        return;
    QVector<double> c = m_coef;
    for (int k = c.size() - 1; k >= 0; --k) {
        c[k] = representable(c[k]);
        if (k == 0)
            break;
        // What the fixed powers leave of each pressure, fitted by the lower.
        QVector<double> rest = m_pPlus;
        for (int i = 0; i < m_v1.size(); ++i) {
            long double fixed = 0.0L;
            for (int j = c.size() - 1; j >= k; --j)
                fixed += c[j] * std::pow(static_cast<long double>(m_v1[i]), j);
            rest[i] = static_cast<double>(m_pPlus[i] - fixed);
        }
        QVector<double> lower;
        if (!centredFit(m_v1, rest, k - 1, &lower))
            return;   // keep the unrounded fit; the fit check judges it
        for (int j = 0; j < k; ++j)
            c[j] = lower[j];
    }
    m_coef = c;
}

void CalibrationPointSet::fitDifferencePolynomial(int degree)
{
    fitDifferencePolynomial(degree, nullptr);
}

void CalibrationPointSet::fitDifferencePolynomial(int degree, Representable representable)
{
    for (int i = 0; i < m_v1.size() && i < m_v2.size(); ++i)
        m_v1[i] -= m_v2[i];
    fitPolynomial(degree);
    if (representable)
        makeRepresentable(representable);
    m_v1.clear();
    m_pPlus.clear();
    m_v2.clear();
    m_pMinus.clear();
}

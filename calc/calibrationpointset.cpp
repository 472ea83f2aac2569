#include "calc/calibrationpointset.h"

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

void CalibrationPointSet::fitPolynomial(int degree)
{
    const int n = degree + 1;
    SquareMatrix normal(n);
    Vector rhs(static_cast<size_t>(n), 0.0);

    // Sums of the powers, each power built by repeated multiplication. The
    // sums are doubles: the normal matrix of a cubic over a signal far from
    // zero (a capacitive difference of 40..48 kHz) is so close to singular
    // that the rounding of single-precision sums alone puts the fit some
    // 0.3 % of full scale off, while double sums leave it at the 0.002 % of
    // the model itself (bench_accuracy prints both).
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

    const Vector c = matrixVectorMultiply(matrixInverse(normal, n, &m_fitReport), rhs, n);
    m_coef = QVector<double>(c.begin(), c.end());
}

void CalibrationPointSet::fitDifferencePolynomial(int degree)
{
    for (int i = 0; i < m_v1.size() && i < m_v2.size(); ++i)
        m_v1[i] -= m_v2[i];
    fitPolynomial(degree);
    m_v1.clear();
    m_pPlus.clear();
    m_v2.clear();
    m_pMinus.clear();
}

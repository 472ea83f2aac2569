#pragma once
// The averaged calibration points of one device at the middle temperature,
// with two running straight-line regressions (variable 1 over P+, variable 2
// over P-) and least-squares polynomial fits of pressure over the signal.
//
// The regression sums are single-precision floats on purpose: that is the
// arithmetic the device's coefficients have always been computed with, and
// results must stay comparable between releases. The normal-matrix sums of
// the polynomial fits are doubles: in single precision they cost a cubic
// over a signal far from zero its accuracy (see fitPolynomial).

#include "calc/squarematrix.h"

#include <QVector>

class CalibrationPointSet
{
public:
    // Empties the lists and zeroes sums, results and count.
    void reset();

    // One averaged point; every value already scaled by 1000 (signals in
    // microvolts or hertz, pressures in Pa).
    void addPoint(float v1, float v2, float v3, float v4, float pPlus, float pMinus);

    // Least-squares polynomial of degree d with x = V1 and y = P+.
    void fitPolynomial(int degree);
    // The same with x = V1 - V2; the point lists are emptied afterwards.
    void fitDifferencePolynomial(int degree);

    float valueAtPlus(float p) const { return k1 * p + b1; }
    float valueAtMinus(float p) const { return k2 * p + b2; }

    int count() const { return m_count; }
    float slope1() const { return k1; }
    float intercept1() const { return b1; }
    float slope2() const { return k2; }
    float intercept2() const { return b2; }

    const QVector<double> &v1List() const { return m_v1; }
    const QVector<double> &pPlusList() const { return m_pPlus; }
    const QVector<double> &v2List() const { return m_v2; }
    const QVector<double> &pMinusList() const { return m_pMinus; }

    // c0..cd of the last fit, y = c0 + c1*x + ... + cd*x^d.
    const QVector<double> &coefficients() const { return m_coef; }
    // How the inverse of the last fit's normal matrix went.
    const InverseReport &lastFitReport() const { return m_fitReport; }

private:
    // Regression 1: x = P+, y = V1.  Regression 2: x = P-, y = V2.
    float sx1 = 0, sy1 = 0, sxy1 = 0, sxx1 = 0;
    float sx2 = 0, sy2 = 0, sxy2 = 0, sxx2 = 0;
    float k1 = 0, b1 = 0, k2 = 0, b2 = 0;
    int m_count = 0;

    QVector<double> m_v1, m_pPlus, m_v2, m_pMinus;
    QVector<double> m_coef;
    InverseReport m_fitReport;
};

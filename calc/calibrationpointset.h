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

    // Makes the coefficients of the last fit values that `representable`
    // leaves unchanged (the numbers the device will get after they pass
    // through a text of a few digits), the highest power first, refitting
    // the lower ones to the points each time. Over a signal far from zero a
    // six-digit c41 alone can be 40 Pa off at full scale; refitted, the
    // lower coefficients take up what the higher ones lost and only the
    // rounding of c0 is left. Needs the point lists, so call it between
    // fitPolynomial and reset (fitDifferencePolynomial takes it as well).
    using Representable = double (*)(double);
    void makeRepresentable(Representable representable);
    void fitDifferencePolynomial(int degree, Representable representable);

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
    // How the last fit went. The normal equations of raw powers of the
    // signal, solved with the iterated inverse, are kept wherever their fit
    // agrees with an accurate one at the points; over a signal far from zero their
    // matrix is too close to singular for double precision, and the fit
    // solved over the signal centred and scaled to -1..1 is taken instead.
    struct FitReport
    {
        LinearSolve normal;      // the normal equations of raw powers
        bool centred = false;    // the coefficients are the centred solve's
        double deviation = 0;    // largest difference of the two fits at the points / largest |y|
        int distinctX = 0;       // different signal values among the points
        bool ok = false;         // the coefficients hold
    };
    const FitReport &lastFit() const { return m_fit; }
    const InverseReport &lastFitReport() const { return m_fit.normal.inverse; }

    // The two fits count as one below this relative deviation (0.0001 % of
    // full scale, far below what a calibration can tell).
    static constexpr double FitAgreement = 1e-6;

private:
    // Regression 1: x = P+, y = V1.  Regression 2: x = P-, y = V2.
    float sx1 = 0, sy1 = 0, sxy1 = 0, sxx1 = 0;
    float sx2 = 0, sy2 = 0, sxy2 = 0, sxx2 = 0;
    float k1 = 0, b1 = 0, k2 = 0, b2 = 0;
    int m_count = 0;

    QVector<double> m_v1, m_pPlus, m_v2, m_pMinus;
    QVector<double> m_coef;
    FitReport m_fit;
};

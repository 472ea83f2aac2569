#pragma once
// Least squares of degree d in double, on x scaled to [-1, 1] about the
// data: the curve the extrapolation estimate of the calculation compares,
// and the curve a guided run checks a new point against.

#include <QVector>
#include <vector>

struct ScaledPolynomial
{
    double centre = 0, scale = 1;
    std::vector<double> c;
    double operator()(double x) const
    {
        const double t = (x - centre) / scale;
        double v = 0;
        for (size_t i = c.size(); i-- > 0;)
            v = v * t + c[i];
        return v;
    }
};

// False when the points do not determine a curve of that degree.
bool fitScaled(const QVector<double> &x, const QVector<double> &y, int degree, ScaledPolynomial *out);

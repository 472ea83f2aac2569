#include "calc/squarematrix.h"

#include "common/capture.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <new>

namespace {

SquareMatrix fromRows(const QVector<QVector<double>> &rows)
{
    const int n = rows.size();
    SquareMatrix m(n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            m[r][c] = rows[r][c];
    return m;
}

// Reference solution by elimination with partial pivoting in long double.
Vector directSolve(const SquareMatrix &a, const Vector &b, int n)
{
    std::vector<std::vector<long double>> m(n, std::vector<long double>(n + 1));
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c)
            m[r][c] = a[r][c];
        m[r][n] = b[r];
    }
    for (int i = 0; i < n; ++i) {
        int p = i;
        for (int r = i + 1; r < n; ++r)
            if (std::fabs(m[r][i]) > std::fabs(m[p][i]))
                p = r;
        std::swap(m[i], m[p]);
        for (int r = i + 1; r < n; ++r) {
            const long double f = m[r][i] / m[i][i];
            for (int c = i; c <= n; ++c)
                m[r][c] -= f * m[i][c];
        }
    }
    Vector x(n);
    for (int i = n - 1; i >= 0; --i) {
        long double s = m[i][n];
        for (int c = i + 1; c < n; ++c)
            s -= m[i][c] * x[c];
        x[i] = static_cast<double>(s / m[i][i]);
    }
    return x;
}

// Normal matrix of a cubic fit over points x0, x0 + step, ..., built the way
// the point set builds it (single-precision sums).
SquareMatrix cubicNormalMatrix(double x0, double step, int points)
{
    SquareMatrix m(4);
    for (int j = 0; j < 4; ++j)
        for (int l = 0; l < 4; ++l) {
            float s = 0;
            for (int k = 0; k < points; ++k) {
                double p = 1;
                for (int q = 0; q < j + l; ++q)
                    p *= x0 + k * step;
                s += static_cast<float>(p);
            }
            m[j][l] = s;
        }
    return m;
}

} // namespace

class TestSquareMatrix : public QObject
{
    Q_OBJECT

private slots:
    void products();
    void determinant_data();
    void determinant();
    void identityNeedsNoIteration();
    void inverseSmall_data();
    void inverseSmall();
    void equalRowsAreImpossible();
    void zeroPivotStillInverts();
    void illConditionedHitsCap();
    void inverseMatchesDirectSolve_data();
    void inverseMatchesDirectSolve();
    void refusesBadSizes();
    void solveWithKnownAccuracy_data();
    void solveWithKnownAccuracy();
    void conditionNumber();
};

void TestSquareMatrix::products()
{
    const SquareMatrix a = fromRows({{1, 2}, {3, 4}});
    const SquareMatrix b = fromRows({{5, 6}, {7, 8}});
    const SquareMatrix c = matrixMultiply(a, b, 2);
    QCOMPARE(c[0][0], 19.0);
    QCOMPARE(c[0][1], 22.0);
    QCOMPARE(c[1][0], 43.0);
    QCOMPARE(c[1][1], 50.0);
    QCOMPARE(a[0][0], 1.0);   // operands untouched

    const Vector y = matrixVectorMultiply(a, {1, -1}, 2);
    QCOMPARE(y[0], -1.0);
    QCOMPARE(y[1], -1.0);

    SquareMatrix s = matrixCopy(a, 2);
    matrixAddInPlace(s, b, 2);
    QCOMPARE(s[1][1], 12.0);
    QCOMPARE(a[1][1], 4.0);

    // The extended accumulator keeps a sum that double arithmetic would
    // round away: 1e16 + 1 - 1e16.
    const SquareMatrix big = fromRows({{1e16, 1, -1e16}, {0, 0, 0}, {0, 0, 0}});
    const Vector ones = matrixVectorMultiply(big, {1, 1, 1}, 3);
    if (sizeof(long double) > sizeof(double))
        QCOMPARE(ones[0], 1.0);
}

void TestSquareMatrix::determinant_data()
{
    QTest::addColumn<QVector<QVector<double>>>("rows");
    QTest::addColumn<double>("expected");
    QTest::newRow("1x1") << QVector<QVector<double>>{{-3}} << -3.0;
    QTest::newRow("diag") << QVector<QVector<double>>{{2, 0}, {0, 4}} << 8.0;
    QTest::newRow("3x3") << QVector<QVector<double>>{{2, 1, 1}, {4, 3, 3}, {8, 7, 9}} << 4.0;
    QTest::newRow("equal rows") << QVector<QVector<double>>{{1, 2}, {1, 2}} << 0.0;
}

void TestSquareMatrix::determinant()
{
    QFETCH(QVector<QVector<double>>, rows);
    QFETCH(double, expected);
    QCOMPARE(matrixDeterminant(fromRows(rows), rows.size()), expected);
}

void TestSquareMatrix::identityNeedsNoIteration()
{
    CoutCapture out;
    InverseReport report;
    const SquareMatrix x = matrixInverse(SquareMatrix::identity(3), 3, &report);
    QCOMPARE(report.iterations, 0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(x[r][c], r == c ? 1.0 : 0.0);
    QCOMPARE(out.text(), std::string());
}

void TestSquareMatrix::inverseSmall_data()
{
    QTest::addColumn<QVector<QVector<double>>>("rows");
    QTest::addColumn<QVector<QVector<double>>>("inverse");
    QTest::newRow("diag(2,4)") << QVector<QVector<double>>{{2, 0}, {0, 4}}
                               << QVector<QVector<double>>{{0.5, 0}, {0, 0.25}};
    QTest::newRow("1x1") << QVector<QVector<double>>{{8}} << QVector<QVector<double>>{{0.125}};
    QTest::newRow("1x1 negative") << QVector<QVector<double>>{{-0.2}} << QVector<QVector<double>>{{-5}};
    QTest::newRow("2x2") << QVector<QVector<double>>{{4, 7}, {2, 6}}
                         << QVector<QVector<double>>{{0.6, -0.7}, {-0.2, 0.4}};
}

void TestSquareMatrix::inverseSmall()
{
    QFETCH(QVector<QVector<double>>, rows);
    QFETCH(QVector<QVector<double>>, inverse);
    CoutCapture out;
    InverseReport report;
    const int n = rows.size();
    const SquareMatrix x = matrixInverse(fromRows(rows), n, &report);
    QVERIFY(!report.singular);
    QVERIFY(!report.capped);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            QVERIFY2(std::fabs(x[r][c] - inverse[r][c]) < 1e-12,
                     qPrintable(QStringLiteral("[%1][%2] = %3").arg(r).arg(c).arg(x[r][c], 0, 'g', 17)));
    QCOMPARE(out.text(), std::string());
}

void TestSquareMatrix::equalRowsAreImpossible()
{
    CoutCapture out;
    InverseReport report;
    // Norms: column sums 2 and 4, row sums 3 and 3 -> scale 1/12.
    const SquareMatrix x = matrixInverse(fromRows({{1, 2}, {1, 2}}), 2, &report);
    QCOMPARE(out.text(), std::string("Impossible\n"));
    QVERIFY(report.singular);
    QCOMPARE(report.iterations, 0);
    QCOMPARE(x[0][0], 1.0 / 12);
    QCOMPARE(x[0][1], 1.0 / 12);
    QCOMPARE(x[1][0], 2.0 / 12);
    QCOMPARE(x[1][1], 2.0 / 12);
}

void TestSquareMatrix::zeroPivotStillInverts()
{
    const SquareMatrix swap = fromRows({{0, 1}, {1, 0}});
    QVERIFY(std::isnan(matrixDeterminant(swap, 2)));

    CoutCapture out;
    InverseReport report;
    const SquareMatrix x = matrixInverse(swap, 2, &report);
    QCOMPARE(out.text(), std::string());
    QCOMPARE(report.iterations, 0);
    QCOMPARE(x[0][0], 0.0);
    QCOMPARE(x[0][1], 1.0);
    QCOMPARE(x[1][0], 1.0);
    QCOMPARE(x[1][1], 0.0);
}

void TestSquareMatrix::illConditionedHitsCap()
{
    // Hilbert 8x8: condition number about 1.5e10, det(A*X) never settles
    // within 1e-12 of 1 in double precision.
    const int n = 8;
    SquareMatrix h(n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            h[r][c] = 1.0 / (r + c + 1);
    CoutCapture out;
    InverseReport report;
    const SquareMatrix x = matrixInverse(h, n, &report);
    QVERIFY(report.capped);
    QVERIFY(!report.singular);
    QCOMPARE(report.iterations, kInverseIterationCap);
    QCOMPARE(out.text(), std::string("Impossible\n"));
    // The iterate handed back is still a usable approximation.
    const SquareMatrix p = matrixMultiply(h, x, n);
    for (int r = 0; r < n; ++r)
        QVERIFY(std::fabs(p[r][r] - 1.0) < 1e-3);
}

void TestSquareMatrix::inverseMatchesDirectSolve_data()
{
    QTest::addColumn<QVector<QVector<double>>>("rows");
    QTest::addColumn<double>("tolerance");
    // Ill-conditioned systems determine the products A*x, not x itself:
    // there both solutions are compared by what they predict.
    QTest::addColumn<bool>("byPrediction");
    QTest::newRow("3x3") << QVector<QVector<double>>{{4, -2, 1}, {3, 6, -4}, {2, 1, 8}} << 1e-12 << false;
    QTest::newRow("4x4 mixed scale")
        << QVector<QVector<double>>{{1e3, 2, 0, 1}, {2, 5e-2, 1, 0}, {0, 1, 7, 3}, {1, 0, 3, 40}} << 1e-10 << false;
    // Temperature system of a strain-gauge sensor: rows (U^2, U, 1).
    QTest::newRow("temperature rows")
        << QVector<QVector<double>>{{250000.0 * 250000, 250000, 1}, {180000.0 * 180000, 180000, 1},
                                    {320000.0 * 320000, 320000, 1}}
        << 1e-9 << true;

    auto toRows = [](const SquareMatrix &m) {
        QVector<QVector<double>> rows(m.size(), QVector<double>(m.size()));
        for (int r = 0; r < m.size(); ++r)
            for (int c = 0; c < m.size(); ++c)
                rows[r][c] = m[r][c];
        return rows;
    };
    // Cubic normal matrices such as real point files give: eleven points,
    // signals near zero and far from it. These need a few hundred rounds.
    QTest::newRow("cubic normal, signal from 0") << toRows(cubicNormalMatrix(0, 1000, 11)) << 1e-6 << true;
    QTest::newRow("cubic normal, signal from 5000") << toRows(cubicNormalMatrix(5000, 1000, 11)) << 1e-6 << true;
}

void TestSquareMatrix::inverseMatchesDirectSolve()
{
    QFETCH(QVector<QVector<double>>, rows);
    QFETCH(double, tolerance);
    QFETCH(bool, byPrediction);
    const int n = rows.size();
    const SquareMatrix a = fromRows(rows);
    // Right-hand side from a known solution, so both methods aim at it.
    Vector known(n);
    for (int i = 0; i < n; ++i)
        known[i] = 1.0 + i * 0.5;
    const Vector b = matrixVectorMultiply(a, known, n);

    CoutCapture out;
    InverseReport report;
    Vector viaInverse = matrixVectorMultiply(matrixInverse(a, n, &report), b, n);
    Vector direct = directSolve(a, b, n);
    if (byPrediction) {
        viaInverse = matrixVectorMultiply(a, viaInverse, n);
        direct = matrixVectorMultiply(a, direct, n);
    }
    QVERIFY(!report.capped);
    QCOMPARE(out.text(), std::string());
    QVERIFY(report.iterations < kInverseIterationCap);
    for (int i = 0; i < n; ++i) {
        const double scale = std::max(1.0, std::fabs(direct[i]));
        QVERIFY2(std::fabs(viaInverse[i] - direct[i]) / scale < tolerance,
                 qPrintable(QStringLiteral("x[%1]: inverse %2, direct %3, after %4 rounds")
                                .arg(i).arg(viaInverse[i], 0, 'g', 12).arg(direct[i], 0, 'g', 12)
                                .arg(report.iterations)));
    }
}

void TestSquareMatrix::refusesBadSizes()
{
    QVERIFY_EXCEPTION_THROWN(SquareMatrix(-1), std::bad_array_new_length);
    QVERIFY_EXCEPTION_THROWN(SquareMatrix(std::numeric_limits<int>::max()), std::bad_array_new_length);
    QCOMPARE(SquareMatrix(0).size(), 0);
}

// The iterated inverse is kept where it reaches the tolerance; where it
// does not, refinement or a direct solve does; where nothing does, the
// result says so. Judged by the residual of the equations, not by rounds.
void TestSquareMatrix::solveWithKnownAccuracy_data()
{
    QTest::addColumn<QVector<QVector<double>>>("rows");
    QTest::addColumn<QVector<double>>("rhs");       // empty: from a known solution
    QTest::addColumn<int>("method");                // LinearSolve::Method

    auto toRows = [](const SquareMatrix &m) {
        QVector<QVector<double>> rows(m.size(), QVector<double>(m.size()));
        for (int r = 0; r < m.size(); ++r)
            for (int c = 0; c < m.size(); ++c)
                rows[r][c] = m[r][c];
        return rows;
    };
    QTest::newRow("well conditioned") << QVector<QVector<double>>{{4, -2, 1}, {3, 6, -4}, {2, 1, 8}}
                                      << QVector<double>{} << int(LinearSolve::Iterated);
    // A cubic over 40..50 kHz: the iteration ends at its cap.
    QTest::newRow("cubic normal, signal from 40 kHz") << toRows(cubicNormalMatrix(40000, 1000, 11))
                                                      << QVector<double>{} << int(LinearSolve::Refined);
    // Hilbert 12x12, condition about 1e16: the capped iterate is too poor
    // even to refine with; elimination still meets the equations.
    QVector<QVector<double>> hilbert(12, QVector<double>(12));
    for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 12; ++c)
            hilbert[r][c] = 1.0 / (r + c + 1);
    QTest::newRow("Hilbert 12") << hilbert << QVector<double>{} << int(LinearSolve::Direct);
    QTest::newRow("singular, no solution") << QVector<QVector<double>>{{1, 2}, {2, 4}} << QVector<double>{1, 1}
                                           << int(LinearSolve::Failed);
    QTest::newRow("not numbers") << QVector<QVector<double>>{{1, 0}, {0, 1}}
                                 << QVector<double>{1, std::numeric_limits<double>::infinity()}
                                 << int(LinearSolve::Failed);
}

void TestSquareMatrix::solveWithKnownAccuracy()
{
    QFETCH(QVector<QVector<double>>, rows);
    QFETCH(QVector<double>, rhs);
    QFETCH(int, method);
    const int n = rows.size();
    const SquareMatrix a = fromRows(rows);
    Vector b(rhs.begin(), rhs.end());
    if (rhs.isEmpty()) {
        Vector known(n);
        for (int i = 0; i < n; ++i)
            known[i] = 1.0 + i * 0.5;
        b = matrixVectorMultiply(a, known, n);
    }
    CoutCapture out;
    const LinearSolve s = solveLinearSystem(a, b, n);
    QCOMPARE(int(s.method), method);
    QCOMPARE(s.ok(), method != int(LinearSolve::Failed));
    if (s.ok()) {
        QVERIFY2(s.backwardError <= kSolveTolerance, qPrintable(QString::number(s.backwardError)));
        QCOMPARE(backwardError(a, s.x, b, n), s.backwardError);
    } else {
        QVERIFY(!(s.backwardError <= kSolveTolerance));
    }
    if (method == int(LinearSolve::Refined))
        QVERIFY(!(s.iteratedError <= kSolveTolerance));
}

void TestSquareMatrix::conditionNumber()
{
    QCOMPARE(matrixConditionNumber(SquareMatrix::identity(3), 3), 1.0);
    // Units of the unknowns do not count...
    QVERIFY(matrixConditionNumber(fromRows({{1e12, 0}, {0, 1e-6}}), 2) < 1.0001);
    // ...nearly equal rows do.
    QVERIFY(matrixConditionNumber(fromRows({{1, 1}, {1, 1 + 1e-9}}), 2) > 1e9);
    QVERIFY(std::isinf(matrixConditionNumber(fromRows({{1, 2}, {2, 4}}), 2)));
    Vector x;
    QVERIFY(!matrixSolveDirect(fromRows({{1, 2}, {2, 4}}), {1, 2}, 2, &x));
    QVERIFY(matrixSolveDirect(fromRows({{0, 2}, {3, 0}}), {4, 3}, 2, &x));
    QCOMPARE(x, (Vector{1, 2}));
}

QTEST_APPLESS_MAIN(TestSquareMatrix)
#include "tst_squarematrix.moc"

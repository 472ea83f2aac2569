#pragma once
// Dense square matrices of doubles and the few operations the calibration
// fits need: products, the determinant and an iterative inverse.
//
// Products and sums are accumulated in long double and rounded to double
// only when an element is stored, so that the normal matrices of degree-3
// fits (whose elements span thirty decades) lose as little as possible on
// the way.

#include <cstddef>
#include <vector>

class SquareMatrix
{
public:
    // Throws std::bad_array_new_length for a negative size or one whose
    // element count does not fit the platform's arrays.
    explicit SquareMatrix(int n = 0);

    int size() const { return m_n; }

    // Element access as [row][column].
    double *operator[](int row) { return m_data.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(m_n); }
    const double *operator[](int row) const { return m_data.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(m_n); }

    static SquareMatrix identity(int n);

private:
    int m_n = 0;
    std::vector<double> m_data;
};

using Vector = std::vector<double>;

// How the last inverse went; callers that must not pass on a meaningless
// result look at it, the others may ignore it.
struct InverseReport
{
    int iterations = 0;
    bool singular = false;   // determinant exactly zero: the scaled transpose came back
    bool capped = false;     // the iteration cap was reached before the stopping test held
};

// The Newton-Schulz iteration stops when det(A*X) is within this of 1.
constexpr double kInverseTolerance = 1e-12;

// Upper bound on Newton-Schulz rounds. Each round roughly squares the
// residual only once the start value is close; from the scaled transpose the
// first rounds merely double the smallest singular value of A*X, so the
// count grows with log2 of the squared condition number. The degree-3 normal
// matrices of real point files need about 150-350 rounds, and some 1300 when
// the signal starts 20 mV or more from zero; a cap of 100 leaves such fits
// 3-12 % of full scale off (bench_calc prints the figures).
constexpr int kInverseIterationCap = 5000;

SquareMatrix matrixCopy(const SquareMatrix &a, int n);
SquareMatrix matrixMultiply(const SquareMatrix &a, const SquareMatrix &b, int n);
Vector matrixVectorMultiply(const SquareMatrix &a, const Vector &x, int n);
void matrixAddInPlace(SquareMatrix &a, const SquareMatrix &b, int n);
double matrixDeterminant(const SquareMatrix &a, int n);

// An approximation of the inverse. A singular matrix (or one that does not
// converge within kInverseIterationCap rounds) writes "Impossible\n" to the
// standard output and yields the current iterate, so the caller always gets
// a matrix; report, when given, says which of these happened.
SquareMatrix matrixInverse(const SquareMatrix &a, int n, InverseReport *report = nullptr);

// ---- Solving with a known accuracy
//
// The iterated inverse is accurate for the well-conditioned systems the
// calibration meets most, but a nearly singular normal matrix (a cubic over
// a signal far from zero) leaves it where its cap stops it, and its stopping
// test says nothing about how well the equations hold. What counts is the
// residual of the solved equations, judged element by element against the
// size of the terms that make it up (the componentwise backward error): it
// does not depend on how the unknowns are scaled, and a value near the
// double rounding unit means the solution is as good as the matrix's own
// elements allow.

// max over i of |r - A x|_i / (|A| |x| + |r|)_i, in long double; 0 for an
// exact solution, infinite when x holds no numbers.
double backwardError(const SquareMatrix &a, const Vector &x, const Vector &r, int n);

// Gaussian elimination with partial pivoting in long double, the columns
// equilibrated first. False when a pivot is zero or not a number.
bool matrixSolveDirect(const SquareMatrix &a, const Vector &r, int n, Vector *x);

// The infinity-norm condition number of A with its columns scaled to unit
// largest element (so that units of the unknowns do not count), from a
// direct inverse; infinite for a singular matrix.
double matrixConditionNumber(const SquareMatrix &a, int n);

// Backward error a solve must reach to be taken: a few hundred rounding
// units of double, what the elements of a normal matrix built from
// measured data carry anyway.
constexpr double kSolveTolerance = 1e-13;

struct LinearSolve
{
    enum Method {
        Iterated,     // the Newton-Schulz inverse times r
        Refined,      // that, refined with the same inverse
        Direct,       // elimination with partial pivoting, refined
        Failed        // no method reached kSolveTolerance
    };
    Method method = Failed;
    Vector x;
    double backwardError = 0;       // of x
    double iteratedError = 0;       // of the iterated solution, for the record
    InverseReport inverse;          // how the iteration went
    bool ok() const { return method != Failed; }
};

// x with A x = r: the iterated inverse first; where its solution
// misses kSolveTolerance, iterative refinement with that inverse, then a
// direct solve with refinement. x is the best solution found even when the
// result is Failed.
LinearSolve solveLinearSystem(const SquareMatrix &a, const Vector &r, int n);

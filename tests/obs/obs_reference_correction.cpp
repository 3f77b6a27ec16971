#include "obs_reference_correction.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

using Matrix = std::vector<std::vector<double>>;

// Cyclic plane rotations, each zeroing one off-diagonal element of the
// symmetric matrix a, until a is diagonal to double precision: the diagonal
// holds the eigenvalues, the columns of the returned matrix the eigenvectors.
Matrix diagonalise(Matrix& a) {
    const std::size_t n = a.size();
    Matrix v(n, std::vector<double>(n, 0.0));
    for (std::size_t i = 0; i < n; ++i) v[i][i] = 1.0;
    for (int sweep = 0; sweep < 50; ++sweep)
        for (std::size_t p = 0; p + 1 < n; ++p)
            for (std::size_t q = p + 1; q < n; ++q) {
                if (a[p][q] == 0.0) continue;
                // Angle that zeroes a[p][q]: tan(2 phi) = 2 a_pq / (a_qq - a_pp).
                const double phi = 0.5 * std::atan2(2.0 * a[p][q], a[q][q] - a[p][p]);
                const double c = std::cos(phi), s = std::sin(phi);
                for (Matrix* m : {&a, &v})
                    for (std::vector<double>& row : *m) {  // columns p and q
                        const double xp = row[p], xq = row[q];
                        row[p] = c * xp - s * xq;
                        row[q] = s * xp + c * xq;
                    }
                for (std::size_t k = 0; k < n; ++k) {  // rows p and q
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
            }
    return v;
}

double dot(const std::vector<double>& x, const std::vector<double>& y) {
    return std::inner_product(x.begin(), x.end(), y.begin(), 0.0);
}

}  // namespace

Windows referenceCorrection(const Windows& rows, int components) {
    const std::size_t count = rows.size();
    const std::size_t length = rows[0].size();
    Windows centred = rows;
    std::vector<double> means(count);
    for (std::size_t j = 0; j < count; ++j) {
        means[j] = std::accumulate(rows[j].begin(), rows[j].end(), 0.0) / length;
        for (double& x : centred[j]) x -= means[j];
    }
    Matrix covariance(count, std::vector<double>(count));
    for (std::size_t j = 0; j < count; ++j)
        for (std::size_t k = 0; k < count; ++k)
            covariance[j][k] = dot(centred[j], centred[k]) / length;
    const Matrix vectors = diagonalise(covariance);
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::size_t x, std::size_t y) { return covariance[x][x] > covariance[y][y]; });

    // Leading component time courses: occurrences weighted by an eigenvector.
    // They are mutually orthogonal, so the projection is a sum of one-dimensional ones.
    std::vector<std::vector<double>> courses;
    for (int k = 0; k < components; ++k) {
        std::vector<double> course(length, 0.0);
        for (std::size_t j = 0; j < count; ++j)
            for (std::size_t i = 0; i < length; ++i)
                course[i] += vectors[j][order[static_cast<std::size_t>(k)]] * centred[j][i];
        courses.push_back(course);
    }
    Windows corrected = centred;
    for (std::size_t j = 0; j < count; ++j) {
        for (const std::vector<double>& course : courses) {
            const double norm = dot(course, course);
            if (norm == 0.0) continue;
            const double weight = dot(course, centred[j]) / norm;
            for (std::size_t i = 0; i < length; ++i) corrected[j][i] -= weight * course[i];
        }
        for (double& x : corrected[j]) x += means[j];
    }
    return corrected;
}

#pragma once

#include <QString>

namespace BenchData {
// A 100,000-message database made by the demo generator (seed 1), written once under the
// build folder and reused by every benchmark. Returns its path, or an empty string.
QString database100k();
// Median of a list of figures.
double median(QList<double> values);
}

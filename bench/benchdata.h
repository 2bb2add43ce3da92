#pragma once

#include <QString>

namespace BenchData {
// A 100,000-message database made by the demo generator (seed 1), written once under the
// build folder and reused by every benchmark. Returns its path, or an empty string.
QString database100k();
// Median of a list of figures.
double median(QList<double> values);
// One figure or text a line, "name: value unit", flushed at once.
void print(const char *name, double value, const char *unit);
void printText(const char *name, const QString &value);
}

#pragma once

#include <QString>

namespace BenchData {
// A 100,000-message database made by the demo generator (seed 1), written once under the
// build folder and reused by every benchmark. Returns its path, or an empty string.
QString database100k();
// The same archive carried on to message 1,000,000 (about 3 GB), written once beside it.
QString database1m();
// The bodies of a database's messages in rowid order, one a line (line breaks inside a
// body made spaces), UTF-8: what a text search tool reads for the same search. Written
// once beside the database; returns its path, or an empty string.
QString bodyDump(const QString &database);
// Median of a list of figures.
double median(QList<double> values);
// One figure or text a line, "name: value unit", flushed at once.
void print(const char *name, double value, const char *unit);
void printText(const char *name, const QString &value);
}

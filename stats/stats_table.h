// A statistics table as both the window and tapwatch-log show it: column
// names and rows of cells, each cell its text and, for a number, its value
// (so a view sorts numbers as numbers). CSV and tab-separated text are
// written from it, so every output carries the same figures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StatsCell {
    std::string text;
    double value = 0;
    bool numeric = false;
};

struct StatsTable {
    std::string name;  // "Conversations TCP"
    std::vector<std::string> columns;
    std::vector<std::vector<StatsCell>> rows;
};

// "# NAME", the column names and the rows, tab-separated, then an empty line.
void AppendTabText(std::string& out, const StatsTable& table);
// The column names and the rows as CSV (RFC 4180 quoting).
std::string CsvText(const StatsTable& table);

StatsCell TextCell(std::string text);
StatsCell CountCell(uint64_t count);
// Seconds with six decimals.
StatsCell SecondsCell(double seconds);
// A percentage with two decimals.
StatsCell PercentCell(double percent);

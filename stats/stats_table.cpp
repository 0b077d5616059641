#include "stats/stats_table.h"

#include <cstdio>

namespace {

void AppendCsvField(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// Cells never hold a tab or a line break of their own: they would split the line.
void AppendTabField(std::string& out, const std::string& text) {
    for (const char c : text) out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
}

template <class Cells, class Text>
void AppendLine(std::string& out, const Cells& cells, char separator, Text text,
                void (*field)(std::string&, const std::string&)) {
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) out += separator;
        field(out, text(cells[i]));
    }
    out += '\n';
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

void AppendTabText(std::string& out, const StatsTable& table) {
    out += "# " + table.name + '\n';
    AppendLine(
        out, table.columns, '\t', [](const std::string& s) { return s; }, AppendTabField);
    for (const auto& row : table.rows)
        AppendLine(
            out, row, '\t', [](const StatsCell& c) { return c.text; }, AppendTabField);
    out += '\n';
}

std::string CsvText(const StatsTable& table) {
    std::string out;
    AppendLine(
        out, table.columns, ',', [](const std::string& s) { return s; }, AppendCsvField);
    for (const auto& row : table.rows)
        AppendLine(
            out, row, ',', [](const StatsCell& c) { return c.text; }, AppendCsvField);
    return out;
}

StatsCell TextCell(std::string text) {
    return {std::move(text), 0, false};
}

StatsCell CountCell(uint64_t count) {
    return {std::to_string(count), static_cast<double>(count), true};
}

StatsCell SecondsCell(double seconds) {
    return {Fixed(seconds, 6), seconds, true};
}

StatsCell PercentCell(double percent) {
    return {Fixed(percent, 2), percent, true};
}

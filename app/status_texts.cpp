#include "app/status_texts.h"

#include <cstdio>

namespace {

std::string Counted(uint64_t count, const char* what) {
    return std::to_string(count) + what;
}

std::string SourceText(const ShownSource& source) {
    switch (source.kind) {
        case SourceKind::Interface:
            return "Interface: " + source.name;
        case SourceKind::File:
            if (source.stoppedAfter)
                return "File: " + source.name + " (stopped after " +
                       std::to_string(*source.stoppedAfter) + " packets)";
            return "File: " + source.name;
        case SourceKind::StandardInput:
            return "Stream: standard input";
        case SourceKind::Fifo:
            return "Stream: " + source.name;
        case SourceKind::None:
            break;
    }
    return {};
}

std::string ElapsedText(uint64_t seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "Elapsed: %llu:%02u",
                  static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned>(seconds % 60));
    return text;
}

}  // namespace

StatusTexts BuildStatusTexts(const StatusInput& input) {
    StatusTexts texts;
    texts.packets = Counted(input.rows, " packets");
    if (input.shown)
        texts.showing =
            "Showing " + std::to_string(*input.shown) + " of " + std::to_string(input.rows);
    if (input.hasStatistics) {
        texts.dropped = Counted(input.statistics.dropped, " dropped");
        if (input.dataContainsSet) texts.leftOut = Counted(input.statistics.leftOut, " left out");
    }
    texts.source = SourceText(input.source);
    if (input.running) texts.elapsed = ElapsedText(input.elapsedSeconds);
    texts.filter = input.filter.empty() ? std::string("No filter") : "Filter: " + input.filter;
    return texts;
}

// The texts of the main window's status bar, built from what the window knows
// at a refresh: the list's rows, the capture's counters, the source shown, the
// running capture's elapsed time and the filter the capture compiles.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "capture/capture_statistics.h"

enum class SourceKind {
    None,           // nothing captured or opened yet
    Interface,      // a live capture; the name is the interface's ("eth0")
    File,           // a capture file; the name is the file's
    StandardInput,  // a stream read from standard input; no name
    Fifo,           // a stream read from a named pipe; the name is the pipe's
};

struct ShownSource {
    SourceKind kind = SourceKind::None;
    std::string name;
    // A file whose read was cancelled: the packets read from it till then,
    // whether or not the filter and "Data contains" kept them.
    std::optional<uint64_t> stoppedAfter = std::nullopt;
};

struct StatusInput {
    uint64_t rows = 0;
    // The rows a display filter lets through; nothing without one.
    std::optional<uint64_t> shown;
    // Counters exist while a capture or stream runs and after one.
    bool hasStatistics = false;
    CaptureStatistics statistics;
    bool dataContainsSet = false;
    ShownSource source;
    bool running = false;
    uint64_t elapsedSeconds = 0;
    // The expression exactly as the capture compiles it; empty for none.
    std::string filter;
};

// One text per status bar field; an empty text means the field is not shown.
struct StatusTexts {
    std::string packets;  // "%u packets", always
    std::string showing;  // "Showing %u of %u" with a display filter
    std::string dropped;  // "%u dropped", with counters
    std::string leftOut;  // "%u left out", with counters while "Data contains" is set
    std::string source;   // "Interface: %s", "File: %s", "File: %s (stopped after %u packets)",
                          // "Stream: standard input", "Stream: %s"
    std::string elapsed;  // "Elapsed: %u:%02u" while a capture or stream runs
    std::string filter;   // "Filter: %s" or "No filter", always
};

StatusTexts BuildStatusTexts(const StatusInput& input);

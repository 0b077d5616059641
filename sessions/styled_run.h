// A piece of text with a colour and a bold flag: what the Decode window's
// endpoint boxes and stream area are written with, one append per run.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

struct RunColour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const RunColour&, const RunColour&) = default;
};

// Upper endpoint box and the data sent by a session's first side.
inline constexpr RunColour FirstSideColour{24, 37, 188};
// Lower endpoint box and the data sent by the second side.
inline constexpr RunColour SecondSideColour{196, 10, 75};
// Sequence and acknowledgement numbers.
inline constexpr RunColour NumberColour{85, 60, 140};
// All other header text and the placeholders.
inline constexpr RunColour BlackColour{0, 0, 0};

struct StyledRun {
    std::string text;
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool bold = false;

    StyledRun() = default;
    StyledRun(std::string t, RunColour c, bool isBold)
        : text(std::move(t)), r(c.r), g(c.g), b(c.b), bold(isBold) {}

    RunColour Colour() const { return {r, g, b}; }
    friend bool operator==(const StyledRun&, const StyledRun&) = default;
};

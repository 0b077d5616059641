// Parses a text with CXmlMarkup and exercises every reader on every element:
// a depth-first walk through the navigation calls, then a run of navigation
// calls chosen from the text itself. Shared by the fuzz target and the unit
// test that replays its corpus, so both check the same things.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "xml/xml_markup.h"

struct MarkupWalk {
    bool parsed = false;
    size_t elements = 0;
    // Empty when every check held; otherwise what went wrong first.
    std::string problem;
};

namespace markup_walk {

// Reads everything there is to read at the cursor and checks what can be
// known without a second parser: no value is longer than the document (decoding
// only ever shrinks text), and an element at the cursor always has a name.
inline void ReadAll(const CXmlMarkup& markup, size_t length, bool atElement, MarkupWalk& walk) {
    const std::string name = markup.ElementName();
    const std::string text = markup.ElementText();
    const std::string desc = markup.AttributeValue("desc");
    const std::string dest = markup.AttributeValue("dest");
    const std::string own = markup.AttributeValue(name.c_str());
    const std::string none = markup.AttributeValue(nullptr);
    if (!walk.problem.empty()) return;
    if (atElement && name.empty()) walk.problem = "element without a name";
    if (name.size() > length || text.size() > length || desc.size() > length ||
        dest.size() > length || own.size() > length) {
        walk.problem = "a value longer than the document";
    }
    if (!none.empty()) walk.problem = "a value for a null attribute name";
}

}  // namespace markup_walk

inline MarkupWalk WalkMarkup(const char* text) {
    MarkupWalk walk;
    const size_t length = text != nullptr ? std::strlen(text) : 0;
    CXmlMarkup markup;
    walk.parsed = markup.Parse(text);

    if (!walk.parsed) {
        if (markup.FindElement() || markup.FindChildElement() || markup.EnterElement() ||
            markup.LeaveElement() || !markup.ElementName().empty() ||
            !markup.ElementText().empty()) {
            walk.problem = "a failed parse left something to find";
        }
        return walk;
    }
    if (!markup.FindElement()) {
        walk.problem = "a successful parse without a top-level element";
        return walk;
    }

    // Depth-first through the cursor alone: descend into the next child while
    // there is one, otherwise go back up; the cursor's child position makes the
    // next FindChildElement continue with the following sibling.
    walk.elements = 1;
    markup_walk::ReadAll(markup, length, true, walk);
    size_t steps = 0;
    for (;;) {
        if (++steps > 2 * length + 4) {
            walk.problem = "the walk did not end";
            return walk;
        }
        if (markup.FindChildElement()) {
            if (!markup.EnterElement()) {
                walk.problem = "could not enter a child that was found";
                return walk;
            }
            ++walk.elements;
            markup_walk::ReadAll(markup, length, true, walk);
            continue;
        }
        if (!markup.LeaveElement()) break;
    }
    if (walk.elements > length / 3 + 1) walk.problem = "more elements than the text can hold";

    // Navigation in an order the text chooses, reading at every stop.
    uint32_t state = 2166136261u;
    for (size_t i = 0; i < length; ++i)
        state = (state ^ static_cast<unsigned char>(text[i])) * 16777619u;
    CXmlMarkup again;
    again.Parse(text);
    for (int op = 0; op < 96; ++op) {
        state = state * 1103515245u + 12345u;
        const char name[2] = {text[(state >> 8) % length], '\0'};
        switch ((state >> 16) % 7) {
            case 0:
                again.FindElement();
                break;
            case 1:
                again.FindElement(name);
                break;
            case 2:
                again.FindChildElement();
                break;
            case 3:
                again.FindChildElement(name);
                break;
            case 4:
                again.EnterElement();
                break;
            case 5:
                again.LeaveElement();
                break;
            default:
                again.Parse(text);
                break;
        }
        markup_walk::ReadAll(again, length, false, walk);
    }
    return walk;
}

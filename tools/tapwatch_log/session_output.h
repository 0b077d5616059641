// tapwatch-log's conversations: the rows of the Decode window's session table
// (--sessions) and one session rendered exactly as the window renders it, its
// colours and bold dropped (--follow), so that a conversation can be read,
// diffed and scripted as the window shows it.
#pragma once

#include <optional>
#include <string>

#include "sessions/session_grouping.h"
#include "sessions/session_table.h"

struct SessionOutputOptions {
    enum class Mode { None, Sessions, Follow };
    Mode mode = Mode::None;
    // --follow: the line of --sessions (from 0) whose session is rendered.
    unsigned long line = 0;
    bool hex = false;          // "Hexadecimal" rather than "ASCII"
    int style = 0;             // an item of the header style box, "SYN/ACK" as the window starts
    bool formatGiven = false;  // --hex or --style was given
};

inline constexpr char kSessionUsage[] =
    "conversations, as the Decode window shows them (FILE '-' is standard input):\n"
    "       tapwatch-log --sessions [--filter EXPR] [--contains TEXT] [-o OUT] FILE\n"
    "       tapwatch-log --follow K [--hex] [--style N] [--filter EXPR]\n"
    "                    [--contains TEXT] [-o OUT] FILE\n"
    "  --sessions      write one line per TCP session instead: the host, a tab,\n"
    "                  the session row, a tab, its packet count (hosts as the\n"
    "                  Decode window offers them, each host's sessions in order)\n"
    "  --follow K      write the session of line K of --sessions (from 0) as the\n"
    "                  Decode window shows it, caption first, without colours\n"
    "  --hex           with --follow: the payloads in hexadecimal\n"
    "  --style N       with --follow: 0 SYN/ACK (the default), 1 SYN/ACK + Flags,\n"
    "                  2 Simple Header, 3 No Header\n"
    "--sessions keeps a few words per session and no frame. --follow reads a\n"
    "file twice and keeps only the frames of its session; a stream (- or a FIFO)\n"
    "or -i is read once and its listing known only at its end, so there it keeps\n"
    "the frames of every session that may still turn out to be line K.\n";

// Takes argv[i] when it is one of the options above, with its value (i then
// points at the value). Returns 1 when taken, 0 when argv[i] is no such
// option, -1 on misuse with `error` set.
int ParseSessionOption(int argc, char** argv, int& i, SessionOutputOptions& options,
                       std::string& error);

// After parsing: the empty text, or why the options do not go together.
std::string CheckSessionOptions(const SessionOutputOptions& options, bool rows);

struct SessionOutputResult {
    bool ok = false;
    std::string error;  // one line, for stderr
};

// The text of --sessions for the grouped capture.
std::string SessionListing(const CSessionGrouping& grouping);

// The text of --follow: the session on line `line` of the listing of
// `packets`, rendered as the Decode window renders it; none, with `error`
// set, when the listing has no such line.
std::optional<std::string> FollowText(const SessionOutputOptions& options, PacketSnapshot packets,
                                      unsigned long line, std::string& error);

// The error of a line past the listing's `lines`.
std::string NoSessionMessage(unsigned long line, size_t lines);

// Writes `text` to `path` ("-" for the standard output); a regular file is
// replaced only when complete.
SessionOutputResult WriteSessionText(const std::string& path, const std::string& text);

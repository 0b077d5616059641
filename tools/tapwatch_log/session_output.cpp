#include "tools/tapwatch_log/session_output.h"

#include <unistd.h>

#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "common/replacing_file.h"
#include "sessions/decode_logic.h"
#include "sessions/decode_view.h"
#include "tools/tapwatch_log/log_output.h"

namespace {

// The Decode window without a window: it keeps what the host selector, the
// session list, the caption and the stream area would show. No name is
// ever looked up (Resolve DNS stays unchecked).
class TextDecodeView : public IDecodeView {
  public:
    void InsertHostItem(int, const std::string&, int, int) override { ++m_nHosts; }
    void SetCurrentHost(int index) override {
        m_nCurrentHost = index >= 0 && index < m_nHosts ? index : -1;
    }
    int CurrentHost() const override { return m_nCurrentHost; }
    void ClearSessionRows() override {}
    void InsertSessionRow(int, const std::string&, int) override {}
    void SelectSessionRow(int) override {}
    void SetEndpointText(EndpointBox, const std::string&) override {}
    void AppendEndpointRun(EndpointBox, const StyledRun&) override {}
    void ClearStream() override {
        m_stream.clear();
        m_bPendingCr = false;
    }
    void AppendStreamRuns(const std::vector<StyledRun>& runs) override {
        for (const StyledRun& run : runs) AppendShownText(m_stream, run.text, m_bPendingCr);
    }
    void SetCaption(const std::string& caption) override { m_caption = caption; }
    bool IsResolveDnsChecked() const override { return false; }
    void RepaintNow() override {}
    void StartEndpointLookup(EndpointLookup) override {}

    const std::string& Caption() const { return m_caption; }
    std::string& Stream() { return m_stream; }

  private:
    int m_nHosts = 0;
    int m_nCurrentHost = -1;
    std::string m_caption;
    std::string m_stream;
    bool m_bPendingCr = false;
};

// Line `line` of --sessions as a host index and a row of that host's list.
std::optional<std::pair<int, int>> HostAndRow(const CSessionTable& table, unsigned long line,
                                              size_t& lines) {
    lines = 0;
    std::optional<std::pair<int, int>> found;
    for (size_t h = 0; h < table.Hosts().size(); ++h) {
        const size_t rows = table.ListSessions(static_cast<int>(h)).size();
        if (!found && line >= lines && line < lines + rows)
            found = std::pair{static_cast<int>(h), static_cast<int>(line - lines)};
        lines += rows;
    }
    return found;
}

bool ParseNumber(const char* text, unsigned long& out) {
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, out);
    return ec == std::errc() && ptr == end && ptr != text;
}

}  // namespace

int ParseSessionOption(int argc, char** argv, int& i, SessionOutputOptions& options,
                       std::string& error) {
    const std::string_view arg = argv[i];
    const bool takesValue = arg == "--follow" || arg == "--style";
    if (arg != "--sessions" && arg != "--hex" && !takesValue) return 0;
    if (takesValue && i + 1 >= argc) {
        error = std::string(arg) + (arg == "--follow" ? " needs a line number of --sessions"
                                                      : " needs a header style from 0 to 3");
        return -1;
    }
    if (arg == "--sessions") {
        options.mode = SessionOutputOptions::Mode::Sessions;
    } else if (arg == "--hex") {
        options.hex = true;
        options.formatGiven = true;
    } else if (arg == "--follow") {
        if (!ParseNumber(argv[++i], options.line)) {
            error = "--follow needs a line number of --sessions, from 0";
            return -1;
        }
        options.mode = SessionOutputOptions::Mode::Follow;
    } else {
        unsigned long style = 0;
        if (!ParseNumber(argv[++i], style) || style > 3) {
            error = "--style needs a header style from 0 to 3";
            return -1;
        }
        options.style = static_cast<int>(style);
        options.formatGiven = true;
    }
    return 1;
}

std::string CheckSessionOptions(const SessionOutputOptions& options, bool rows) {
    using Mode = SessionOutputOptions::Mode;
    if (options.mode != Mode::None && rows) return "--rows does not go with --sessions or --follow";
    if (options.formatGiven && options.mode != Mode::Follow)
        return "--hex and --style go with --follow";
    return {};
}

std::string SessionListing(const CSessionGrouping& grouping) {
    std::string out;
    for (size_t h = 0; h < grouping.Hosts().size(); ++h) {
        const HostAddress& host = grouping.Hosts()[h];
        const std::string hostText = host.Text();
        for (const uint32_t session : grouping.HostSessions(h)) {
            out += hostText;
            out += '\t';
            out += SessionRowText(host, grouping.Ends(session));
            out += '\t';
            out += std::to_string(grouping.PacketCount(session));
            out += '\n';
        }
    }
    return out;
}

std::string NoSessionMessage(unsigned long line, size_t lines) {
    return "no session " + std::to_string(line) + ": the capture has " + std::to_string(lines) +
           " session lines";
}

std::optional<std::string> FollowText(const SessionOutputOptions& options, PacketSnapshot packets,
                                      unsigned long line, std::string& error) {
    TextDecodeView view;
    CDecodeLogic logic(view, std::move(packets), nullptr);
    // Nothing is shown yet: these only set the switches, as in the window.
    logic.OnDataFormat(options.hex ? 1 : 0);
    logic.OnHeaderStyle(options.style);
    size_t lines = 0;
    const auto at = HostAndRow(logic.Table(), line, lines);
    if (!at) {
        error = NoSessionMessage(line, lines);
        return std::nullopt;
    }
    // The user's steps in the window: pick the host, then the row.
    logic.FillHostList();
    view.SetCurrentHost(at->first);
    logic.OnHostChanged();
    if (at->second != 0) logic.OnSessionSelected(at->second);
    return view.Caption() + '\n' + view.Stream();
}

SessionOutputResult WriteSessionText(const std::string& path, const std::string& text) {
    ReplacingFile file;
    if (path == "-")
        file.Attach(STDOUT_FILENO);
    else if (!file.Open(path))
        return {false, CouldntWriteMessage(path)};
    if (!file.Write(text) || !file.Commit()) {
        file.Abandon();
        return {false, CouldntWriteMessage(path)};
    }
    return {true, {}};
}

// tapwatch-log: takes the frames of a capture file or stream in as the window
// program takes in a live capture, then writes the XML capture log, the list
// rows or a pcap file. With -i it runs the window program's own live capture
// session instead.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "capture/capture_state.h"
#include "capture/capture_statistics.h"
#include "capture_files/capture_file_reader.h"
#include "capture_files/pcap_save.h"
#include "common/shared_text.h"
#include "common/stop_signals.h"
#include "intake/memory_limit.h"
#include "intake/packet_intake.h"
#include "intake/packet_store.h"
#include "tools/tapwatch_log/capture_file.h"
#include "tools/tapwatch_log/live_console.h"
#include "tools/tapwatch_log/log_output.h"
#include "tools/tapwatch_log/session_output.h"
#include "tools/tapwatch_log/session_pass.h"
#include "tools/tapwatch_log/stats_output.h"
#include "tools/tapwatch_log/stream_output.h"

namespace {

constexpr char kUsage[] =
    "usage: tapwatch-log [--rows|--stats] [--filter EXPR] [--contains TEXT] [-Y EXPR] [-o OUT]\n"
    "                    [-w PCAP] [--memory-limit MB] FILE\n"
    "       tapwatch-log [--rows|--stats] [--filter EXPR] [--contains TEXT] [-Y EXPR] [-o OUT]\n"
    "                    [-w PCAP] [--memory-limit MB] -i IFACE [--duration SECONDS]\n"
    "  FILE            a pcap or pcapng capture; - or a FIFO is read as a stream,\n"
    "                  frame by frame as it arrives, until its end, SIGINT or SIGTERM\n"
    "  -i IFACE        capture live on IFACE (a name, or its number in the\n"
    "                  interface list) until SIGINT or SIGTERM; needs the right\n"
    "                  to capture (root or CAP_NET_RAW)\n"
    "  --duration SECONDS  end the live capture after SECONDS\n"
    "  --rows          write one line of eight tab-separated cells per packet\n"
    "                  (Num, Frame, Proto, Src IP, Dest IP, Src Port, Dest Port, Time)\n"
    "                  instead of the XML capture log\n"
    "  --filter EXPR   keep only frames matching the pcap filter expression (the\n"
    "                  rows are numbered among the frames kept)\n"
    "  --contains TEXT keep only frames whose payload holds TEXT (case-sensitive)\n"
    "  -Y EXPR         display filter: write only the rows, log elements and pcap\n"
    "                  records of frames matching the pcap filter expression; the\n"
    "                  rows keep the numbers they have without it\n"
    "  -o OUT          write the log or the rows to OUT instead of standard output\n"
    "  --stats         write the statistics (summary, protocol hierarchy,\n"
    "                  conversations, endpoints) as tab-separated sections\n"
    "  -w PCAP         write the kept frames as a pcap file (nanosecond timestamps);\n"
    "                  alone, nothing else is written\n"
    "  --memory-limit MB  stop taking frames in once they hold MB MiB of memory\n"
    "                  (default: half the machine's memory, at most what is\n"
    "                  available less 256 MiB)\n"
    "The rows, the log and -w are written as the frames come, in memory that does\n"
    "not grow with the capture: the limit bounds only what is not yet written.\n"
    "A regular file OUT or PCAP is replaced only once it is whole.\n";

// What a live capture has buffered is written at least this often.
constexpr auto kFlushInterval = std::chrono::milliseconds{10};

struct Options {
    bool rows = false;
    bool stats = false;
    StatsOutput* statsOutput = nullptr;  // set once the store is made
    std::string filter;
    std::string contains;
    std::string output = "-";
    bool outputGiven = false;
    std::string pcapOutput;
    std::string displayFilter;  // -Y
    std::string input;
    std::string interface;  // live capture instead of a file
    double duration = 0;
    uint64_t memoryLimit = 0;  // 0: the default
    SessionOutputOptions session;
    SessionPass* sessionPass = nullptr;  // set once the store is made
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "tapwatch-log: %s\n", message.c_str());
    return 1;
}

// Returns 0 to go on, a negative value after --help, a positive exit code on misuse.
int Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string error;
        if (const int taken = ParseSessionOption(argc, argv, i, options.session, error)) {
            if (taken < 0) return Fail(error);
            continue;
        }
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kSessionUsage, stdout);
            return -1;
        } else if (arg == "--rows") {
            options.rows = true;
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--filter") {
            if (!value(options.filter)) return Fail("--filter needs an expression");
        } else if (arg == "-Y") {
            if (!value(options.displayFilter) || options.displayFilter.empty())
                return Fail("-Y needs a display filter expression");
        } else if (arg == "--contains") {
            if (!value(options.contains)) return Fail("--contains needs a text");
        } else if (arg == "-o") {
            if (!value(options.output)) return Fail("-o needs a file name");
            options.outputGiven = true;
        } else if (arg == "-w") {
            if (!value(options.pcapOutput) || options.pcapOutput.empty())
                return Fail("-w needs a file name");
        } else if (arg == "-i") {
            if (!value(options.interface)) return Fail("-i needs an interface");
        } else if (arg == "--duration") {
            std::string seconds;
            if (!value(seconds)) return Fail("--duration needs a number of seconds");
            char* end = nullptr;
            options.duration = std::strtod(seconds.c_str(), &end);
            if (end == seconds.c_str() || *end != '\0' || !(options.duration > 0)) {
                return Fail("--duration needs a positive number of seconds");
            }
        } else if (arg == "--memory-limit") {
            std::string megabytes;
            if (!value(megabytes)) return Fail("--memory-limit needs a number of MiB");
            char* end = nullptr;
            const unsigned long long mb = std::strtoull(megabytes.c_str(), &end, 10);
            if (end == megabytes.c_str() || *end != '\0' || mb == 0 || mb > (uint64_t{1} << 40)) {
                return Fail("--memory-limit needs a positive number of MiB");
            }
            options.memoryLimit = uint64_t{mb} << 20;
        } else if (arg == "-" || arg.empty() || arg[0] != '-') {
            if (!options.input.empty()) return Fail("only one capture file can be read");
            options.input = arg;
        } else {
            return Fail("unknown option " + arg + " (try --help)");
        }
    }
    if (const std::string error = CheckSessionOptions(options.session, options.rows);
        !error.empty())
        return Fail(error);
    const bool sessions = options.session.mode != SessionOutputOptions::Mode::None;
    if (options.stats && (options.rows || sessions || !options.pcapOutput.empty()))
        return Fail("--stats goes alone, not with --rows, -w, --sessions or --follow");
    if (sessions && !options.displayFilter.empty())
        return Fail("-Y goes with the rows, the log and -w, not with --sessions or --follow");
    const bool textToStdout =
        (options.rows || sessions || options.pcapOutput.empty() || options.outputGiven) &&
        options.output == "-";
    if (options.pcapOutput == "-" && textToStdout) {
        return Fail("-w - and the log or rows cannot both go to standard output (use -o)");
    }
    if (!options.interface.empty()) {
        if (!options.input.empty()) return Fail("give either -i or a capture file, not both");
        return 0;
    }
    if (options.duration > 0) return Fail("--duration goes with -i");
    if (options.input.empty()) return Fail("no capture file given (try --help)");
    return 0;
}

// Rows, the log and the pcap file are written as the frames come, each frame
// released once written; the conversations keep what they need of the frames
// (sessions/session_pass.h).
bool KeepsFrames(const Options& options) {
    return options.session.mode != SessionOutputOptions::Mode::None;
}

StreamOutputOptions StreamOptions(const Options& options) {
    StreamOutputOptions stream;
    using Text = StreamOutputOptions::Text;
    stream.text = options.rows                                        ? Text::Rows
                  : options.pcapOutput.empty() || options.outputGiven ? Text::Log
                                                                      : Text::None;
    stream.textPath = options.output;
    stream.pcapPath = options.pcapOutput;
    stream.displayFilter = options.displayFilter;
    // Live readers must not wait for the output: the ticks write it.
    stream.flushInAdd = options.interface.empty();
    return stream;
}

// One read of the capture file or stream through the intake into `store`.
CaptureFileResult ReadCapture(const Options& options, PacketStore& store, StreamOutput* stream,
                              CaptureFileReader& reader) {
    SharedText dataContains(options.contains);
    PacketIntake intake(store, dataContains);
    if (stream != nullptr) stream->OnFailure([&reader] { reader.Stop(); });
    const uint64_t limit = options.memoryLimit != 0 ? options.memoryLimit : DefaultMemoryLimit();
    // Stop is safe to call in a signal handler.
    const StopSignals signals(
        [](void* context) { static_cast<CaptureFileReader*>(context)->Stop(); }, &reader);
    // The outputs open only once the capture is accepted: a file that is
    // not one leaves them as they were.
    return reader.Read(
        options.input, options.filter, intake, limit,
        [stream] {
            if (stream != nullptr) stream->Flush();
        },
        [stream] {
            if (stream != nullptr) stream->Open();
        });
}

// --follow reads a file twice, the second time for one session's frames; a
// stream or a live capture keeps them in its only read.
bool ReadsTwice(const Options& options) {
    return options.session.mode == SessionOutputOptions::Mode::Follow &&
           options.interface.empty() && !IsCaptureStream(options.input);
}

// The frames of `session` read again from the file, among the entries the
// first read took in (the file may have grown since).
std::optional<PacketSnapshot> ReadSessionAgain(const Options& options, const SessionPass& first,
                                               uint32_t session, std::string& error) {
    PacketStore store;
    SessionPass again;
    CaptureFileReader reader;
    again.KeepSession(first.Grouping().Ends(session), first.Entries(),
                      [&reader] { reader.Stop(); });
    store.PassThrough(
        [&again](size_t index, const StoredPacket& packet) { return again.Add(index, packet); });
    const CaptureFileResult result = ReadCapture(options, store, nullptr, reader);
    switch (result.end) {
        case CaptureFileEnd::CannotOpen:
        case CaptureFileEnd::NotEthernet:
        case CaptureFileEnd::FilterFailed:
            error = CaptureFileError(options.input, result);
            return std::nullopt;
        case CaptureFileEnd::MemoryFull:
            std::fprintf(stderr, "tapwatch-log: %s\n", kMemoryFullMessage);
            break;
        default:  // a damaged end was reported by the first read
            break;
    }
    return again.TakeFrames(0, store.LinkType());
}

// --sessions from the grouping alone; --follow from the frames of the
// session on its line.
int WriteConversation(const Options& options, const PacketStore& store) {
    SessionPass& pass = *options.sessionPass;
    std::string text;
    if (options.session.mode == SessionOutputOptions::Mode::Sessions) {
        text = SessionListing(pass.Grouping());
    } else {
        const unsigned long line = options.session.line;
        size_t lines = 0;
        const auto session = SessionPass::SessionOnLine(pass.Grouping(), line, lines);
        if (!session) return Fail(NoSessionMessage(line, lines));
        std::string error;
        std::optional<PacketSnapshot> frames =
            ReadsTwice(options) ? ReadSessionAgain(options, pass, *session, error)
                                : pass.TakeFrames(*session, store.LinkType());
        if (!frames) return Fail(error);
        // Among its own frames the session is line 0.
        std::optional<std::string> followed =
            FollowText(options.session, std::move(*frames), 0, error);
        if (!followed) return Fail(error);
        text = std::move(*followed);
    }
    const SessionOutputResult r = WriteSessionText(options.output, text);
    return r.ok ? 0 : Fail(r.error);
}

// After the read: the streamed outputs put in place, or the kept capture's
// conversations written.
int WriteOutputs(const Options& options, const PacketStore& store, StreamOutput* stream,
                 uint64_t drops = 0) {
    if (options.statsOutput != nullptr)
        return options.statsOutput->Finish(drops) ? 0 : Fail(options.statsOutput->Error());
    if (stream != nullptr) return stream->Finish() ? 0 : Fail(stream->Error());
    return WriteConversation(options, store);
}

std::string StatisticsLine(const CaptureStatistics& s) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "%llu frames received, %llu dropped, %llu left out by \"Data contains\", "
                  "%llu rows stored, %.1f MiB held",
                  static_cast<unsigned long long>(s.received),
                  static_cast<unsigned long long>(s.dropped),
                  static_cast<unsigned long long>(s.leftOut),
                  static_cast<unsigned long long>(s.rows), s.storeBytes / 1048576.0);
    return line;
}

int RunLive(const Options& options, PacketStore& store, StreamOutput* stream) {
    ConsoleCaptureOptions live;
    live.interface = options.interface;
    live.durationSeconds = options.duration;
    live.filter = options.filter;
    live.dataContains = options.contains;
    live.memoryLimit = options.memoryLimit;
    CaptureStatistics statistics;
    live.statistics = &statistics;
    std::atomic<bool> failed{false};
    if (stream != nullptr) {
        stream->OnFailure([&failed] { failed.store(true); });
        live.stop = &failed;
        live.onRunning = [stream] { stream->Open(); };
        live.onTick = [stream] { stream->Flush(); };
        live.tick = kFlushInterval;
    }
    // The capture writes its own messages. What a capture that ran has
    // taken in is written, even when the interface failed under it.
    const int captured = RunConsoleCapture(live, store);
    if (captured == kConsoleCaptureNoStart) return 1;
    std::fprintf(stderr, "tapwatch-log: %s\n", StatisticsLine(statistics).c_str());
    const int written = WriteOutputs(options, store, stream, statistics.dropped);
    return captured == kConsoleCaptureFailed ? 1 : written;
}

int RunFile(const Options& options, PacketStore& store, StreamOutput* stream) {
    CaptureFileReader reader;
    const CaptureFileResult result = ReadCapture(options, store, stream, reader);
    const std::string error = CaptureFileError(options.input, result);
    switch (result.end) {
        case CaptureFileEnd::CannotOpen:
        case CaptureFileEnd::NotEthernet:
        case CaptureFileEnd::FilterFailed:
            return Fail(error);
        case CaptureFileEnd::MemoryFull:
            std::fprintf(stderr, "tapwatch-log: %s\n", kMemoryFullMessage);
            break;
        default:
            break;
    }
    // What was read before a damaged end is written, then the damage reported.
    const int written = WriteOutputs(options, store, stream);
    if (result.end == CaptureFileEnd::CutShort) return Fail(error);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = Parse(argc, argv, options);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;

    PacketStore store;
    SessionPass sessions;
    std::unique_ptr<StreamOutput> stream;
    std::unique_ptr<StatsOutput> stats;
    if (options.stats) {
        stats = std::make_unique<StatsOutput>(options.output, options.displayFilter, store);
        options.statsOutput = stats.get();
        store.PassThrough([out = stats.get()](size_t index, const StoredPacket& packet) {
            return out->Add(index, packet);
        });
    } else if (!KeepsFrames(options)) {
        stream = std::make_unique<StreamOutput>(StreamOptions(options), store);
        store.PassThrough([out = stream.get()](size_t index, const StoredPacket& packet) {
            return out->Add(index, packet);
        });
    } else {
        if (options.session.mode == SessionOutputOptions::Mode::Follow && !ReadsTwice(options))
            sessions.KeepLine(options.session.line);
        options.sessionPass = &sessions;
        store.PassThrough([&sessions](size_t index, const StoredPacket& packet) {
            return sessions.Add(index, packet);
        });
    }
    return options.interface.empty() ? RunFile(options, store, stream.get())
                                     : RunLive(options, store, stream.get());
}

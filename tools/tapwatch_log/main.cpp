// tapwatch-log: takes the frames of a capture file or stream in as the window
// program takes in a live capture, then writes the XML capture log, the list
// rows or a pcap file. With -i it runs the window program's own live capture
// session instead.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

namespace {

constexpr char kUsage[] =
    "usage: tapwatch-log [--rows] [--filter EXPR] [--contains TEXT] [-o OUT] [-w PCAP]\n"
    "                    [--memory-limit MB] FILE\n"
    "       tapwatch-log [--rows] [--filter EXPR] [--contains TEXT] [-o OUT] [-w PCAP]\n"
    "                    [--memory-limit MB] -i IFACE [--duration SECONDS]\n"
    "  FILE            a pcap or pcapng capture of Ethernet frames; - or a FIFO is\n"
    "                  read as a stream, frame by frame as it arrives, until its\n"
    "                  end, SIGINT or SIGTERM\n"
    "  -i IFACE        capture live on IFACE (a name, or its number in the\n"
    "                  interface list) until SIGINT or SIGTERM; needs the right\n"
    "                  to capture (root or CAP_NET_RAW)\n"
    "  --duration SECONDS  end the live capture after SECONDS\n"
    "  --rows          write one line of eight tab-separated cells per packet\n"
    "                  (Num, Frame, Proto, Src IP, Dest IP, Src Port, Dest Port, Time)\n"
    "                  instead of the XML capture log; to standard output each\n"
    "                  row is written as its frame is taken in\n"
    "  --filter EXPR   keep only frames matching the pcap filter expression\n"
    "  --contains TEXT keep only frames whose payload holds TEXT (case-sensitive)\n"
    "  -o OUT          write the log or the rows to OUT instead of standard output\n"
    "  -w PCAP         write the kept frames as a pcap file (nanosecond timestamps);\n"
    "                  alone, nothing else is written\n"
    "  --memory-limit MB  stop taking frames in once they hold MB MiB of memory\n"
    "                  (default: half the machine's memory, at most what is\n"
    "                  available less 256 MiB)\n";

// Rows to standard output are flushed at least this often while a live
// capture runs, and whenever this much is buffered.
constexpr auto kRowFlushInterval = std::chrono::milliseconds{10};
constexpr size_t kRowFlushBytes = size_t{64} << 10;

struct Options {
    bool rows = false;
    std::string filter;
    std::string contains;
    std::string output = "-";
    bool outputGiven = false;
    std::string pcapOutput;
    std::string input;
    std::string interface;  // live capture instead of a file
    double duration = 0;
    uint64_t memoryLimit = 0;  // 0: the default
    SessionOutputOptions session;
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
        } else if (arg == "--filter") {
            if (!value(options.filter)) return Fail("--filter needs an expression");
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

// Rows go out as frames come in: to standard output only, the other outputs
// are written whole at the end.
bool StreamsRows(const Options& options) {
    return options.rows && options.output == "-";
}

int WriteOutputs(const Options& options, const PacketStore& store) {
    int status = 0;
    if (!options.pcapOutput.empty()) {
        if (SaveCapturePcap(options.pcapOutput, store.Snapshot(), store.LinkType()) != 0) {
            status = Fail(CouldntWriteMessage(options.pcapOutput));
        }
    }
    if (options.session.mode != SessionOutputOptions::Mode::None) {
        const SessionOutputResult r = WriteSessionOutput(options.output, options.session, store);
        return r.ok ? status : Fail(r.error);
    }
    const bool text = options.rows || options.pcapOutput.empty() || options.outputGiven;
    if (!text || StreamsRows(options)) return status;
    const bool ok =
        options.rows ? WriteRows(options.output, store) : WriteLog(options.output, store);
    if (!ok) {
        status = Fail(CouldntWriteMessage(options.output));
    }
    return status;
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

int RunLive(const Options& options, PacketStore& store, RowStream* rows) {
    ConsoleCaptureOptions live;
    live.interface = options.interface;
    live.durationSeconds = options.duration;
    live.filter = options.filter;
    live.dataContains = options.contains;
    live.memoryLimit = options.memoryLimit;
    CaptureStatistics statistics;
    live.statistics = &statistics;
    if (rows != nullptr) {
        live.onRow = [rows](size_t, const PacketRow& row) { rows->Add(row); };
        live.onTick = [rows] { rows->Flush(); };
        live.tick = kRowFlushInterval;
    }
    // The capture writes its own messages. What a capture that ran has
    // taken in is written, even when the interface failed under it.
    const int captured = RunConsoleCapture(live, store);
    if (captured == kConsoleCaptureNoStart) return 1;
    if (rows != nullptr) rows->Flush();
    std::fprintf(stderr, "tapwatch-log: %s\n", StatisticsLine(statistics).c_str());
    const int written = WriteOutputs(options, store);
    return captured == kConsoleCaptureFailed ? 1 : written;
}

int RunFile(const Options& options, PacketStore& store, RowStream* rows) {
    SharedText dataContains(options.contains);
    PacketIntake::RowObserver observer;
    if (rows != nullptr) {
        // A single reader: flushing here holds up nobody.
        observer = [rows](size_t, const PacketRow& row) {
            if (rows->Add(row) >= kRowFlushBytes) rows->Flush();
        };
    }
    PacketIntake intake(store, dataContains, observer);
    CaptureFileReader reader;
    const uint64_t limit = options.memoryLimit != 0 ? options.memoryLimit : DefaultMemoryLimit();
    CaptureFileResult result;
    {
        // Stop is safe to call in a signal handler.
        const StopSignals signals(
            [](void* context) { static_cast<CaptureFileReader*>(context)->Stop(); }, &reader);
        result = reader.Read(options.input, options.filter, intake, limit, [rows] {
            if (rows != nullptr) rows->Flush();
        });
    }
    if (rows != nullptr) rows->Flush();

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
    const int written = WriteOutputs(options, store);
    if (result.end == CaptureFileEnd::CutShort) return Fail(error);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = Parse(argc, argv, options);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;

    PacketStore store;
    RowStream rowStream(STDOUT_FILENO);
    RowStream* rows = StreamsRows(options) ? &rowStream : nullptr;
    int status =
        options.interface.empty() ? RunFile(options, store, rows) : RunLive(options, store, rows);
    if (rows != nullptr && !rows->Ok() && status == 0) status = Fail(CouldntWriteMessage("-"));
    return status;
}

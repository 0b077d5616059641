// tapwatch-log: takes the frames of a capture file in as the window program
// takes in a live capture, then writes the XML capture log or the list rows.
// With -i it runs the window program's own live capture session instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/live_console.h"
#include "capture/packet_store.h"
#include "filter/shared_text.h"
#include "tools/tapwatch_log/capture_file.h"
#include "tools/tapwatch_log/log_output.h"
#include "tools/tapwatch_log/session_output.h"

namespace {

constexpr char kUsage[] =
    "usage: tapwatch-log [--rows] [--filter EXPR] [--contains TEXT] [-o OUT] FILE\n"
    "       tapwatch-log [--rows] [--filter EXPR] [--contains TEXT] [-o OUT]\n"
    "                    -i IFACE [--duration SECONDS]\n"
    "  FILE            a pcap or pcapng capture of Ethernet frames\n"
    "  -i IFACE        capture live on IFACE (a name, or its number in the\n"
    "                  interface list) until SIGINT or SIGTERM; needs the right\n"
    "                  to capture (root or CAP_NET_RAW)\n"
    "  --duration SECONDS  end the live capture after SECONDS\n"
    "  --rows          write one line of eight tab-separated cells per packet\n"
    "                  (Num, Frame, Proto, Src IP, Dest IP, Src Port, Dest Port, Time)\n"
    "                  instead of the XML capture log\n"
    "  --filter EXPR   keep only frames matching the pcap filter expression\n"
    "  --contains TEXT keep only frames whose payload holds TEXT (case-sensitive)\n"
    "  -o OUT          write to OUT instead of standard output\n";

struct Options {
    bool rows = false;
    std::string filter;
    std::string contains;
    std::string output = "-";
    std::string input;
    std::string interface;  // live capture instead of a file
    double duration = 0;
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
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail("unknown option " + arg + " (try --help)");
        } else if (options.input.empty()) {
            options.input = arg;
        } else {
            return Fail("only one capture file can be read");
        }
    }
    if (const std::string error = CheckSessionOptions(options.session, options.rows); !error.empty())
        return Fail(error);
    if (!options.interface.empty()) {
        if (!options.input.empty()) return Fail("give either -i or a capture file, not both");
        return 0;
    }
    if (options.duration > 0) return Fail("--duration goes with -i");
    if (options.input.empty()) return Fail("no capture file given (try --help)");
    return 0;
}

int WriteOutput(const Options& options, const PacketStore& store) {
    if (options.session.mode != SessionOutputOptions::Mode::None) {
        const SessionOutputResult r = WriteSessionOutput(options.output, options.session, store);
        return r.ok ? 0 : Fail(r.error);
    }
    const bool ok = options.rows ? WriteRows(options.output, store) : WriteLog(options.output, store);
    if (!ok) return Fail("Couldn't write " + (options.output == "-" ? std::string("the output") : options.output));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = Parse(argc, argv, options);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;

    PacketStore store;
    if (!options.interface.empty()) {
        ConsoleCaptureOptions live;
        live.interface = options.interface;
        live.durationSeconds = options.duration;
        live.filter = options.filter;
        live.dataContains = options.contains;
        // The capture writes its own messages. What a capture that ran has
        // taken in is written, even when the interface failed under it.
        const int captured = RunConsoleCapture(live, store);
        if (captured == kConsoleCaptureNoStart) return 1;
        const int written = WriteOutput(options, store);
        return captured == kConsoleCaptureFailed ? 1 : written;
    }

    SharedText dataContains;
    dataContains.Set(options.contains);
    const FileReadResult read = ReadCaptureFile(options.input, options.filter, dataContains, store);
    if (!read.ok) return Fail(read.error);
    return WriteOutput(options, store);
}

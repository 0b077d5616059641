// log-bench FILE LOG_TOOL: tapwatch-log's streamed outputs against tcpdump on
// the same capture, in the same run: time and peak memory (ru_maxrss of each
// child process) of
//   tapwatch-log --rows FILE, -o LOG FILE and -w PCAP FILE
//   tcpdump -n -r FILE and tcpdump -r FILE -w PCAP
//   tapwatch-log --sessions FILE, and --follow K of the first and the middle
//   line, from FILE (read twice) and from standard input (read once)
// Targets: rows at least as fast as tcpdump's listing; peak memory a few MiB
// above tcpdump's plus the decoder's tables, under 32 MiB whatever the size.
// The conversations hold the session table and the followed session's frames
// (a stream: those of the sessions that may still be line K), never the
// capture.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Figures {
    double seconds = -1;  // negative: the command failed
    double peakMiB = 0;
};

// Runs `argv` with standard output and error to /dev/null (standard input
// from `input` when given); the best of `runs` times, and the largest peak
// memory.
Figures Measure(const std::vector<std::string>& argv, int runs, const std::string& input = {}) {
    Figures best;
    for (int run = 0; run < runs; ++run) {
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (!input.empty())
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return {};
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return {};
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best.seconds = best.seconds < 0 ? seconds : std::min(best.seconds, seconds);
        best.peakMiB = std::max(best.peakMiB, static_cast<double>(usage.ru_maxrss) / 1024.0);
    }
    return best;
}

void Print(const char* what, const Figures& f, double megabytes) {
    if (f.seconds < 0) {
        std::printf("  %-28s failed\n", what);
        return;
    }
    std::printf("  %-28s %7.3f s %8.1f MB/s   peak %6.1f MiB\n", what, f.seconds,
                megabytes / f.seconds, f.peakMiB);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: log-bench FILE LOG_TOOL [RUNS]\n");
        return 2;
    }
    const std::string file = argv[1], tool = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) {
        std::fprintf(stderr, "log-bench: no file %s\n", file.c_str());
        return 1;
    }
    const double megabytes = static_cast<double>(st.st_size) / 1e6;
    const std::string out = "/tmp/log-bench-" + std::to_string(getpid());

    // Every run finds the file in the page cache.
    Measure({"cat", file}, 1);
    const Figures rows = Measure({tool, "--rows", file}, runs);
    const Figures log = Measure({tool, "-o", out + ".xml", file}, runs);
    const Figures pcap = Measure({tool, "-w", out + ".pcap", file}, runs);
    const Figures listing = Measure({"tcpdump", "-n", "-r", file}, runs);
    const Figures copy = Measure({"tcpdump", "-r", file, "-w", out + "-tcpdump.pcap"}, runs);
    const Figures sessions = Measure({tool, "--sessions", "-o", out + ".txt", file}, runs);
    size_t lines = 0;
    {
        std::ifstream text(out + ".txt");
        for (std::string line; std::getline(text, line);) ++lines;
    }
    const std::string middle = std::to_string(lines / 2);
    const Figures first = Measure({tool, "--follow", "0", file}, runs);
    const Figures firstStream = Measure({tool, "--follow", "0", "-"}, runs, file);
    const Figures mid = Measure({tool, "--follow", middle, file}, runs);
    const Figures midStream = Measure({tool, "--follow", middle, "-"}, runs, file);
    std::remove((out + ".txt").c_str());
    std::remove((out + ".xml").c_str());
    std::remove((out + ".pcap").c_str());
    std::remove((out + "-tcpdump.pcap").c_str());

    std::printf("%s (%.1f MB), best of %d:\n", file.c_str(), megabytes, runs);
    Print("tapwatch-log --rows", rows, megabytes);
    Print("tapwatch-log -o LOG (XML)", log, megabytes);
    Print("tapwatch-log -w PCAP", pcap, megabytes);
    Print("tcpdump -n -r", listing, megabytes);
    Print("tcpdump -r -w", copy, megabytes);
    std::printf("  conversations (%zu session lines):\n", lines);
    Print("tapwatch-log --sessions", sessions, megabytes);
    Print("--follow 0 FILE", first, megabytes);
    Print("--follow 0 - (stream)", firstStream, megabytes);
    Print(("--follow " + middle + " FILE").c_str(), mid, megabytes);
    Print(("--follow " + middle + " - (stream)").c_str(), midStream, megabytes);
    if (rows.seconds < 0 || log.seconds < 0 || pcap.seconds < 0 || sessions.seconds < 0 ||
        first.seconds < 0 || firstStream.seconds < 0 || mid.seconds < 0 || midStream.seconds < 0) {
        std::fprintf(stderr, "log-bench: tapwatch-log failed on %s\n", file.c_str());
        return 1;
    }
    if (listing.seconds > 0 && copy.seconds > 0) {
        std::printf("rows speed ratio (tcpdump -n -r time / ours): %.2f (target at least 1)\n",
                    listing.seconds / rows.seconds);
        std::printf("pcap speed ratio (tcpdump -r -w time / ours): %.2f\n",
                    copy.seconds / pcap.seconds);
        const double peak = std::max({rows.peakMiB, log.peakMiB, pcap.peakMiB});
        std::printf("peak memory: ours %.1f MiB, tcpdump %.1f MiB (target under 32 MiB)\n", peak,
                    std::max(listing.peakMiB, copy.peakMiB));
    } else {
        std::printf("tcpdump not available: no comparison\n");
    }
    return 0;
}

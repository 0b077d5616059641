#include "capture_files/pcap_save.h"

#include <pcap/pcap.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/replacing_file.h"

namespace {

constexpr int kMinimumSnapLength = 65535;

struct DeadCloser {
    void operator()(pcap_t* p) const { pcap_close(p); }
};

}  // namespace

int SaveCapturePcap(const std::string& path, const std::vector<StoredPacket>& packets, int linkType,
                    SaveControl* control) {
    // The file's snapshot length must cover its longest frame.
    uint32_t snapLength = kMinimumSnapLength;
    for (const StoredPacket& p : packets) {
        if (p.frame != nullptr) snapLength = std::max(snapLength, p.frame->capturedLength);
    }
    std::unique_ptr<pcap_t, DeadCloser> dead(pcap_open_dead_with_tstamp_precision(
        linkType, static_cast<int>(snapLength), PCAP_TSTAMP_PRECISION_NANO));
    if (dead == nullptr) return SAVE_OPEN_FAILED;

    ReplacingFile file;
    if (path == "-") {
        file.Attach(STDOUT_FILENO);
    } else if (!file.Open(path)) {
        return SAVE_OPEN_FAILED;
    }
    // The dumper writes through a stream of its own on a copy of the descriptor.
    const int fd = dup(file.Fd());
    FILE* stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (stream == nullptr) {
        if (fd >= 0) close(fd);
        file.Abandon();
        return SAVE_OPEN_FAILED;
    }
    std::setvbuf(stream, nullptr, _IOFBF, size_t{1} << 20);
    pcap_dumper_t* dumper = pcap_dump_fopen(dead.get(), stream);
    if (dumper == nullptr) {
        std::fclose(stream);
        file.Abandon();
        return SAVE_OPEN_FAILED;
    }
    bool cancelled = false;
    for (size_t i = 0; i < packets.size(); ++i) {
        if (control != nullptr && control->cancel.load(std::memory_order_relaxed)) {
            cancelled = true;
            break;
        }
        const KeptFrame* frame = packets[i].frame;
        if (frame != nullptr) {
            pcap_pkthdr header{};
            // A pcap record holds 32 bits of seconds (until 2106): a stamp
            // beyond them, which only a damaged pcapng file gives, cannot be
            // written as it was read.
            header.ts.tv_sec = static_cast<time_t>(frame->time.seconds);
            header.ts.tv_usec = static_cast<suseconds_t>(frame->time.nanoseconds);
            header.caplen = frame->capturedLength;
            header.len = frame->wireLength;
            pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame->Bytes());
        }
        if (control != nullptr) control->packetsWritten.store(i + 1, std::memory_order_relaxed);
    }
    const bool written = pcap_dump_flush(dumper) == 0 && std::ferror(stream) == 0;
    pcap_dump_close(dumper);  // closes the stream and its descriptor copy
    if (cancelled) {
        file.Abandon();
        return SAVE_CANCELLED;
    }
    if (!written || !file.Commit()) {
        file.Abandon();
        return SAVE_WRITE_FAILED;
    }
    return SAVE_OK;
}

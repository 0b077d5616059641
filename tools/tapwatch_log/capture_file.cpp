#include "tools/tapwatch_log/capture_file.h"

#include <pcap/pcap.h>

#include <memory>

#include "capture/packet_intake.h"

namespace {

struct PcapCloser {
    void operator()(pcap_t* p) const { pcap_close(p); }
};

uint32_t ElapsedMs(const timeval& start, const timeval& now) {
    const int64_t us = (int64_t{now.tv_sec} - start.tv_sec) * 1000000 + (now.tv_usec - start.tv_usec);
    return static_cast<uint32_t>(us < 0 ? 0 : us / 1000);
}

}  // namespace

FileReadResult ReadCaptureFile(const std::string& path, const std::string& filter,
                               const SharedText& dataContains, PacketStore& store) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    std::unique_ptr<pcap_t, PcapCloser> pcap(pcap_open_offline(path.c_str(), errbuf));
    if (pcap == nullptr) return {false, "Couldn't read the capture file " + path + ": " + errbuf};
    if (pcap_datalink(pcap.get()) != DLT_EN10MB)
        return {false, "This capture does not hold Ethernet frames"};

    if (!filter.empty()) {
        bpf_program program{};
        if (pcap_compile(pcap.get(), &program, filter.c_str(), 1, 0x00FFFFFF) < 0)
            return {false, "Unable to compile the packet filter. Check the syntax"};
        const int set = pcap_setfilter(pcap.get(), &program);
        pcap_freecode(&program);
        if (set < 0) return {false, "Error setting the filter"};
    }

    PacketIntake intake(store, dataContains);
    PacketIntake::Reader reader(intake);
    bool first = true;
    timeval start{};
    for (;;) {
        pcap_pkthdr* header = nullptr;
        const u_char* bytes = nullptr;
        const int rc = pcap_next_ex(pcap.get(), &header, &bytes);
        if (rc == PCAP_ERROR_BREAK) break;
        if (rc < 0) return {false, "Couldn't read the capture file " + path + ": " +
                                       pcap_geterr(pcap.get())};
        if (rc == 0) continue;
        if (first) {
            start = header->ts;
            first = false;
        }
        reader.ProcessPacket(bytes, static_cast<int>(header->caplen), ElapsedMs(start, header->ts));
    }
    return {true, {}};
}

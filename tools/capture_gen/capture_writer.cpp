// Writing a generated capture as a pcap file, one frame at a time.
#include <pcap/pcap.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/capture_gen/generator.h"

namespace capture_gen {

namespace {

struct PcapCloser {
    void operator()(pcap_t* p) const { pcap_close(p); }
};

bool Fail(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
    return false;
}

}  // namespace

bool WriteCapture(const std::string& path, CaptureKind kind, size_t count, uint32_t seed,
                  std::string* error) {
    std::unique_ptr<pcap_t, PcapCloser> dead(pcap_open_dead(CaptureLinkType(kind), 65535));
    if (!dead) return Fail(error, "cannot create a pcap handle");
    // "-" writes to the standard output.
    pcap_dumper_t* dumper = pcap_dump_open(dead.get(), path.c_str());
    if (dumper == nullptr) return Fail(error, pcap_geterr(dead.get()));

    FrameGenerator gen(kind, count, seed);
    GeneratedFrame frame;
    while (gen.Next(frame)) {
        pcap_pkthdr header{};
        header.ts.tv_sec = frame.tsSec;
        header.ts.tv_usec = frame.tsUsec;
        header.caplen = static_cast<bpf_u_int32>(frame.data.size());
        header.len = frame.origLen;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data.data());
    }
    // pcap_dump reports nothing itself; a full disk shows on the stream.
    FILE* file = pcap_dump_file(dumper);
    const bool failed = pcap_dump_flush(dumper) != 0 || std::ferror(file) != 0;
    const int savedErrno = errno;
    pcap_dump_close(dumper);
    if (failed) return Fail(error, std::string("write failed: ") + std::strerror(savedErrno));
    return true;
}

}  // namespace capture_gen

#include "tools/tapwatch_log/stream_output.h"

#include <pcap/pcap.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/tapwatch_log/log_output.h"
#include "xml/packet_document.h"

namespace {

// The snapshot length a pcap file is begun with, as a save of the kept frames
// writes it; a longer frame raises it once the file is whole.
constexpr uint32_t kPcapSnapLength = 65535;
constexpr size_t kSnapLengthOffset = 16;  // in the pcap file header

// libpcap writes the file header, so the link type is named in the file as
// libpcap names it (its LINKTYPE_ values are not always the DLT_ ones).
bool PcapFileHeader(int linkType, std::string& out) {
    pcap_t* dead =
        pcap_open_dead_with_tstamp_precision(linkType, kPcapSnapLength, PCAP_TSTAMP_PRECISION_NANO);
    if (dead == nullptr) return false;
    char* bytes = nullptr;
    size_t size = 0;
    FILE* memory = open_memstream(&bytes, &size);
    pcap_dumper_t* dumper = memory != nullptr ? pcap_dump_fopen(dead, memory) : nullptr;
    if (dumper != nullptr) {
        pcap_dump_close(dumper);  // closes the memory stream
    } else if (memory != nullptr) {
        std::fclose(memory);
    }
    pcap_close(dead);
    const bool ok = dumper != nullptr && bytes != nullptr && size > kSnapLengthOffset + 4;
    if (ok) out.append(bytes, size);
    std::free(bytes);
    return ok;
}

// One record as libpcap's dumper writes it: seconds (32 bits, as a pcap record
// holds them), nanoseconds, captured and wire lengths, in this machine's order.
void AppendPcapRecord(std::string& out, const KeptFrame& frame) {
    const uint32_t header[4] = {static_cast<uint32_t>(frame.time.seconds), frame.time.nanoseconds,
                                frame.capturedLength, frame.wireLength};
    out.append(reinterpret_cast<const char*>(header), sizeof header);
    out.append(reinterpret_cast<const char*>(frame.Bytes()), frame.capturedLength);
}

bool OpenTarget(ReplacingFile& file, const std::string& path) {
    if (path != "-") return file.Open(path);
    file.Attach(STDOUT_FILENO);
    return true;
}

}  // namespace

StreamOutput::StreamOutput(StreamOutputOptions options, const PacketStore& store)
    : m_options(std::move(options)), m_store(store) {}

bool StreamOutput::Failed() const {
    std::scoped_lock lock(m_lock);
    return m_bFailed;
}

std::string StreamOutput::Error() const {
    std::scoped_lock lock(m_lock);
    return m_error;
}

void StreamOutput::FailLocked(std::string error) {
    if (m_bFailed) return;
    m_bFailed = true;
    m_error = std::move(error);
    if (m_onFailure) m_onFailure();
}

bool StreamOutput::Open() {
    std::scoped_lock lock(m_lock);
    return OpenLocked();
}

bool StreamOutput::OpenLocked() {
    if (m_bOpened) return !m_bFailed;
    m_bOpened = true;
    const int linkType = m_store.LinkType();
    if (!m_options.displayFilter.empty() && !m_filter.Compile(m_options.displayFilter, linkType)) {
        FailLocked("Unable to compile the display filter: " + m_filter.Error());
        return false;
    }
    if (m_options.text != StreamOutputOptions::Text::None) {
        if (!OpenTarget(m_textFile, m_options.textPath)) {
            FailLocked(CouldntWriteMessage(m_options.textPath));
            return false;
        }
        if (m_options.text == StreamOutputOptions::Text::Log) {
            m_text += kXmlDeclaration;
            m_text += kProductBanner;
            m_text += kReleaseCredit;
            m_text += "<Packets>";
        }
    }
    if (!m_options.pcapPath.empty()) {
        if (!OpenTarget(m_pcapFile, m_options.pcapPath) || !PcapFileHeader(linkType, m_pcap)) {
            FailLocked(CouldntWriteMessage(m_options.pcapPath));
            return false;
        }
    }
    return true;
}

uint64_t StreamOutput::Add(size_t index, const StoredPacket& packet) {
    size_t buffered = 0;
    {
        std::scoped_lock lock(m_lock);
        if (!OpenLocked()) return 0;
        // Rows left out by the display filter keep their numbers free.
        if (!m_filter.Empty() && (packet.frame == nullptr || !m_filter.Matches(*packet.frame)))
            return m_text.size() + m_pcap.size();
        if (m_options.text == StreamOutputOptions::Text::Rows) {
            BuildRow(packet, index, m_row);
            AppendRowLine(m_text, m_row);
        } else if (m_options.text == StreamOutputOptions::Text::Log) {
            AppendPacketElement(m_text, packet.root.get());
        }
        if (!m_options.pcapPath.empty() && packet.frame != nullptr) {
            AppendPcapRecord(m_pcap, *packet.frame);
            if (packet.frame->capturedLength > m_nLongest)
                m_nLongest = packet.frame->capturedLength;
        }
        buffered = m_text.size() + m_pcap.size();
    }
    // Standard output shows rows soon; a file takes larger writes.
    const bool toStdout = m_options.textPath == "-" || m_options.pcapPath == "-";
    const size_t flushAt = toStdout ? size_t{64} << 10 : size_t{256} << 10;
    if (m_options.flushInAdd && buffered >= flushAt) {
        Flush();
        return 0;
    }
    return buffered;
}

bool StreamOutput::WriteOut(std::string& text, std::string& pcap) {
    const bool textOk = text.empty() || m_textFile.Write(text);
    const bool pcapOk = pcap.empty() || m_pcapFile.Write(pcap);
    text.clear();
    pcap.clear();
    if (textOk && pcapOk) return true;
    std::scoped_lock lock(m_lock);
    FailLocked(CouldntWriteMessage(textOk ? m_options.pcapPath : m_options.textPath));
    return false;
}

bool StreamOutput::Flush() {
    std::scoped_lock flush(m_flushLock);
    {
        std::scoped_lock lock(m_lock);
        if (!m_bOpened || m_bFailed) return !m_bFailed;
        m_textWriting.swap(m_text);
        m_pcapWriting.swap(m_pcap);
    }
    // Written outside m_lock: readers adding frames never wait for the output.
    return WriteOut(m_textWriting, m_pcapWriting);
}

bool StreamOutput::Finish() {
    {
        std::scoped_lock lock(m_lock);
        if (!m_bOpened) return !m_bFailed;
        if (!m_bFailed && m_options.text == StreamOutputOptions::Text::Log) m_text += "</Packets>";
    }
    Flush();
    std::scoped_lock flush(m_flushLock);
    std::scoped_lock lock(m_lock);
    if (m_bFailed) {
        m_textFile.Abandon();
        m_pcapFile.Abandon();
        return false;
    }
    // A file of our own can still say how long its longest frame is; a pipe
    // cannot, and libpcap reads the longer frames anyway.
    if (m_nLongest > kPcapSnapLength && m_options.pcapPath != "-") {
        [[maybe_unused]] const ssize_t n =
            pwrite(m_pcapFile.Fd(), &m_nLongest, sizeof m_nLongest, kSnapLengthOffset);
    }
    const bool textOk = m_options.text == StreamOutputOptions::Text::None || m_textFile.Commit();
    const bool pcapOk = m_options.pcapPath.empty() || m_pcapFile.Commit();
    if (!textOk || !pcapOk) {
        m_textFile.Abandon();
        m_pcapFile.Abandon();
        m_bFailed = true;
        m_error = CouldntWriteMessage(textOk ? m_options.pcapPath : m_options.textPath);
        return false;
    }
    return true;
}

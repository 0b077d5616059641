#include "xml/capture_log.h"

#include <unistd.h>

#include "xml/packet_document.h"

namespace {
constexpr size_t kFlushSize = size_t{256} << 10;
}

CaptureLogWriter::CaptureLogWriter(ReplacingFile& file) : m_file(file) {
    m_buffer.reserve(kFlushSize + (size_t{64} << 10));
}

bool CaptureLogWriter::Flush() {
    const bool ok = m_file.Write(m_buffer);
    m_buffer.clear();
    return ok;
}

bool CaptureLogWriter::Begin() {
    m_buffer += kXmlDeclaration;
    m_buffer += kProductBanner;
    m_buffer += kReleaseCredit;
    m_buffer += "<Packets>";
    return true;
}

bool CaptureLogWriter::Add(const CProtocolLayer* root) {
    AppendPacketElement(m_buffer, root);
    return m_buffer.size() < kFlushSize || Flush();
}

bool CaptureLogWriter::End() {
    m_buffer += "</Packets>";
    return Flush();
}

int SaveCaptureLog(const std::string& path, const std::vector<StoredPacket>& packets,
                   SaveControl* control) {
    ReplacingFile file;
    if (path == "-") {
        file.Attach(STDOUT_FILENO);
    } else if (!file.Open(path)) {
        return SAVE_OPEN_FAILED;
    }
    CaptureLogWriter writer(file);
    bool ok = writer.Begin();
    for (size_t i = 0; ok && i < packets.size(); ++i) {
        if (control != nullptr && control->cancel.load(std::memory_order_relaxed)) {
            file.Abandon();
            return SAVE_CANCELLED;
        }
        ok = writer.Add(packets[i].root.get());
        if (control != nullptr) control->packetsWritten.store(i + 1, std::memory_order_relaxed);
    }
    ok = ok && writer.End() && file.Commit();
    if (!ok) {
        file.Abandon();
        return SAVE_WRITE_FAILED;
    }
    return SAVE_OK;
}

#include "tools/tapwatch_log/log_output.h"

#include <unistd.h>

#include <cerrno>

#include "common/replacing_file.h"
#include "xml/capture_log.h"

bool WriteLog(const std::string& path, const PacketStore& store) {
    return SaveCaptureLog(path, store.Snapshot()) == SAVE_OK;
}

std::string CouldntWriteMessage(const std::string& path) {
    return "Couldn't write " + (path == "-" ? std::string("the output") : path);
}

void AppendRowLine(std::string& out, const PacketRow& row) {
    for (int c = 0; c < COL_COUNT; ++c) {
        if (c > 0) out += '\t';
        out += row.Cell(c);
    }
    out += '\n';
}

bool WriteRows(const std::string& path, const PacketStore& store) {
    ReplacingFile file;
    if (path == "-")
        file.Attach(STDOUT_FILENO);
    else if (!file.Open(path))
        return false;
    const std::vector<StoredPacket> packets = store.Snapshot();
    std::string buffer;
    PacketRow row;
    bool ok = true;
    for (size_t i = 0; ok && i < packets.size(); ++i) {
        BuildRow(packets[i], i, row);
        AppendRowLine(buffer, row);
        if (buffer.size() >= (size_t{256} << 10)) {
            ok = file.Write(buffer);
            buffer.clear();
        }
    }
    ok = ok && file.Write(buffer) && file.Commit();
    if (!ok) file.Abandon();
    return ok;
}

size_t RowStream::Add(const PacketRow& row) {
    std::scoped_lock lock(m_lock);
    AppendRowLine(m_buffer, row);
    return m_buffer.size();
}

bool RowStream::Flush() {
    {
        std::scoped_lock lock(m_lock);
        m_writing.swap(m_buffer);
    }
    // Written outside the lock: readers adding rows never wait for the output.
    const char* p = m_writing.data();
    size_t left = m_writing.size();
    while (m_bOk && left > 0) {
        const ssize_t n = write(m_fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_bOk = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    m_writing.clear();
    return m_bOk;
}

#include "tools/tapwatch_log/log_output.h"

#include <unistd.h>

#include "capture/packet_row.h"
#include "xml/capture_log.h"
#include "xml/replacing_file.h"

bool WriteLog(const std::string& path, const PacketStore& store) {
    return SaveCaptureLog(path, store.Snapshot()) == SAVE_OK;
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
        for (int c = 0; c < COL_COUNT; ++c) {
            if (c > 0) buffer += '\t';
            buffer += row.Cell(c);
        }
        buffer += '\n';
        if (buffer.size() >= (size_t{256} << 10)) {
            ok = file.Write(buffer);
            buffer.clear();
        }
    }
    ok = ok && file.Write(buffer) && file.Commit();
    if (!ok) file.Abandon();
    return ok;
}

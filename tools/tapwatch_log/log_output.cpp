#include "tools/tapwatch_log/log_output.h"

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

// What tapwatch-log writes: the XML capture log, the list rows (one line of
// eight tab-separated cells per packet), streamed as packets arrive or
// written whole at the end.
#pragma once

#include <mutex>
#include <string>

#include "intake/packet_row.h"
#include "intake/packet_store.h"

// Writes to `path` ("-" for standard output); false when the output could not
// be written. A regular file is replaced only when complete.
bool WriteLog(const std::string& path, const PacketStore& store);
bool WriteRows(const std::string& path, const PacketStore& store);

// The message of an output that could not be written ("-": standard output).
std::string CouldntWriteMessage(const std::string& path);

// One row as its line, newline included.
void AppendRowLine(std::string& out, const PacketRow& row);

// Rows written to a descriptor as they come: Add may run on any thread (it
// only buffers); Flush writes what is buffered, on one thread at a time.
class RowStream {
  public:
    explicit RowStream(int fd) : m_fd(fd) {}
    // Returns the bytes now buffered.
    size_t Add(const PacketRow& row);
    // False once a write has failed.
    bool Flush();
    bool Ok() const { return m_bOk; }

  private:
    int m_fd;
    std::mutex m_lock;
    std::string m_buffer;
    std::string m_writing;
    bool m_bOk = true;
};

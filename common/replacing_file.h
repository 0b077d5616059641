// Writing a file so that a failure never leaves a half-written target: a
// regular file (or a path that does not exist yet) is written as a new file in
// the same folder and renamed over the target only when complete, keeping the
// old file's permissions; anything else (a terminal, a pipe, /dev/stdout) is
// written directly. Every write and the close are checked.
#pragma once

#include <string>
#include <string_view>

class ReplacingFile {
  public:
    ReplacingFile() = default;
    ~ReplacingFile();  // abandons an uncommitted file
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool Open(const std::string& path);
    // Writes to an already open descriptor that the caller keeps (stdout).
    void Attach(int fd);
    bool Write(std::string_view bytes);
    // Closes and, for a replaced file, renames it over the target.
    bool Commit();
    // Closes and removes the new file; the target stays as it was.
    void Abandon();

    bool IsOpen() const { return m_fd >= 0; }
    // The descriptor written to, for a writer that brings its own buffering
    // (it must leave the descriptor open); -1 when none is open.
    int Fd() const { return m_fd; }

  private:
    int m_fd = -1;
    bool m_ownsFd = false;
    std::string m_target;
    std::string m_temporary;  // empty when writing the target directly
};

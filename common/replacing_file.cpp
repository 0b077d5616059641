#include "common/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace {

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ReplacingFile::~ReplacingFile() {
    Abandon();
}

void ReplacingFile::Attach(int fd) {
    Abandon();
    m_fd = fd;
    m_ownsFd = false;
}

bool ReplacingFile::Open(const std::string& path) {
    Abandon();
    if (path.empty()) return false;
    m_target = path;
    // Replace the file a symbolic link points at, not the link.
    char resolved[PATH_MAX];
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
        realpath(path.c_str(), resolved) != nullptr)
        m_target = resolved;

    const bool exists = stat(m_target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        m_fd = open(m_target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        m_ownsFd = m_fd >= 0;
        return m_fd >= 0;
    }

    const std::string folder = Folder(m_target);
    const std::string base = BaseName(m_target);
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            folder + "/." + base + ".tmp" + std::to_string(entropy() % 1000000000u);
        // 0666 less the umask, as a new file would get; an existing target's mode follows.
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (exists && fchmod(fd, st.st_mode & 07777) != 0) {
            close(fd);
            unlink(candidate.c_str());
            return false;
        }
        m_fd = fd;
        m_ownsFd = true;
        m_temporary = candidate;
        return true;
    }
    return false;
}

bool ReplacingFile::Write(std::string_view bytes) {
    if (m_fd < 0) return false;
    while (!bytes.empty()) {
        const ssize_t n = write(m_fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool ReplacingFile::Commit() {
    if (m_fd < 0) return false;
    bool ok = true;
    if (m_ownsFd) ok = close(m_fd) == 0;
    m_fd = -1;
    if (!m_temporary.empty()) {
        if (ok) ok = rename(m_temporary.c_str(), m_target.c_str()) == 0;
        if (!ok) unlink(m_temporary.c_str());
        m_temporary.clear();
    }
    return ok;
}

void ReplacingFile::Abandon() {
    if (m_fd >= 0 && m_ownsFd) close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) {
        unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

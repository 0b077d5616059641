#include "capture/capture_helper.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <thread>

namespace {

// The stream's pipe holds a burst of this size while the readers catch up.
constexpr int kStreamPipeBytes = 1 << 20;

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

std::string LocateCaptureHelper(std::string& missing) {
    const char* named = std::getenv(kCaptureHelperVariable);
    std::string path;
    if (named != nullptr && *named != '\0') {
        path = named;
    } else {
        std::array<char, 4096> self{};
        const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
        if (n > 0) {
            path.assign(self.data(), static_cast<size_t>(n));
            path = path.substr(0, path.rfind('/') + 1) + kCaptureHelperName;
        }
    }
    if (!path.empty() && access(path.c_str(), X_OK) == 0) return path;
    missing = named != nullptr && *named != '\0'
                  ? path + " was not found"
                  : std::string(kCaptureHelperName) + " was not found beside this program";
    return {};
}

CaptureHelper::~CaptureHelper() {
    if (m_pid > 0) Wait(std::chrono::milliseconds(0));
    CloseFd(m_streamFd);
    CloseFd(m_messageFd);
    CloseFd(m_countersFd);
}

bool CaptureHelper::Start(const std::string& path, const std::vector<std::string>& args) {
    int stream[2];
    int message[2];
    int counters[2];
    if (pipe2(stream, O_CLOEXEC) != 0) return false;
    if (pipe2(message, O_CLOEXEC) != 0) {
        close(stream[0]);
        close(stream[1]);
        return false;
    }
    if (pipe2(counters, O_CLOEXEC) != 0) {
        for (int fd : {stream[0], stream[1], message[0], message[1]}) close(fd);
        return false;
    }
    fcntl(stream[0], F_SETPIPE_SZ, kStreamPipeBytes);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // It never reads its input.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, stream[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, message[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, counters[1], 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGTERM, SIGINT, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> words{path};
    words.insert(words.end(), args.begin(), args.end());
    words.emplace_back("--stats-fd");
    words.emplace_back("3");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    for (int fd : {stream[1], message[1], counters[1]}) close(fd);
    if (spawned != 0) {
        for (int fd : {stream[0], message[0], counters[0]}) close(fd);
        errno = spawned;
        return false;
    }
    fcntl(counters[0], F_SETFL, O_NONBLOCK);
    {
        std::scoped_lock lock(m_pidLock);
        m_pid = pid;
    }
    m_streamFd = stream[0];
    m_messageFd = message[0];
    m_countersFd = counters[0];
    return true;
}

int CaptureHelper::TakeStream() {
    const int fd = m_streamFd;
    m_streamFd = -1;
    return fd;
}

void CaptureHelper::Signal(int signal) {
    // Under the lock, so a pid waited for (and maybe reused) is never signalled.
    std::scoped_lock lock(m_pidLock);
    if (m_pid > 0) kill(m_pid, signal);
}

int CaptureHelper::Wait(std::chrono::milliseconds grace) {
    pid_t pid = -1;
    {
        std::scoped_lock lock(m_pidLock);
        pid = m_pid;
    }
    if (pid <= 0) return -1;
    Signal(SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (ended == 0) {
        Signal(SIGKILL);
        while ((ended = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    {
        std::scoped_lock lock(m_pidLock);
        m_pid = -1;
    }
    return ended == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool CaptureHelper::Counters(HelperCounters& out) {
    char buffer[512];
    ssize_t n = 0;
    while (m_countersFd >= 0 && (n = read(m_countersFd, buffer, sizeof buffer)) > 0) {
        m_counterText.append(buffer, static_cast<size_t>(n));
        size_t end = 0;
        while ((end = m_counterText.find('\n')) != std::string::npos) {
            if (ParseCounters(m_counterText.substr(0, end).c_str(), m_counters)) m_bCounters = true;
            m_counterText.erase(0, end + 1);
        }
    }
    out = m_counters;
    return m_bCounters;
}

std::string CaptureHelper::MessageLine() {
    std::string text;
    char buffer[512];
    ssize_t n = 0;
    while (m_messageFd >= 0 && text.size() < 4096 &&
           ((n = read(m_messageFd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))) {
        if (n > 0) text.append(buffer, static_cast<size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

#include "app/capture_source.h"

#include <sys/stat.h>

#include <cstdio>
#include <system_error>

#include "capture/capture_state.h"
#include "capture_files/pcap_save.h"
#include "common/message_texts.h"
#include "intake/memory_limit.h"

namespace {

constexpr char kSavedMessage[] = "The capture was saved";
constexpr char kSaveFailedMessage[] = "Couldn't save the capture file !";

std::string NameOf(const std::string& path) {
    if (path == "-") return "standard input";
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

CaptureSource::CaptureSource(CaptureWindow& window, CaptureFilesWindow& files, PacketStore& store,
                             const SharedText& filter, const SharedText& dataContains,
                             LivePhase livePhase)
    : m_window(window),
      m_files(files),
      m_store(store),
      m_filter(filter),
      m_intake(store, dataContains),
      m_livePhase(std::move(livePhase)),
      m_guard(store) {}

CaptureSource::~CaptureSource() {
    *m_alive = false;
    if (m_reader != nullptr) m_reader->Stop();
    // The worker only posts to the window, so it ends as soon as Read does.
    if (m_worker.joinable()) m_worker.join();
}

std::string CaptureSource::CutShortMessage(uint64_t framesRead) {
    char text[96];
    std::snprintf(text, sizeof text, "The capture file is cut short: %llu packets were read",
                  static_cast<unsigned long long>(framesRead));
    return text;
}

uint64_t CaptureSource::BytesRead() const {
    return m_reader != nullptr ? m_reader->BytesRead() : 0;
}

bool CaptureSource::Refused() {
    // A live capture still ending could append to the new rows: it must be
    // over before anything replaces them.
    if (Busy() || (m_livePhase && m_livePhase() != CapturePhase::Idle)) {
        m_window.ShowMessage(kStopFirstMessage, kWarningCaption);
        return true;
    }
    return false;
}

void CaptureSource::OnOpen() {
    if (Refused()) return;
    const std::string path = m_files.AskOpenPath();
    if (path.empty()) return;
    Open(path);
}

void CaptureSource::Open(const std::string& path) {
    if (Refused()) return;
    const UnsavedGuard::Ask ask = [this](const std::string& text, const std::string& caption) {
        return m_files.AskYesNo(text, caption);
    };
    if (!m_guard.ConfirmDiscard(ask)) return;
    // The question's box may have let a capture start meanwhile.
    if (Refused()) return;
    Start(path);
}

void CaptureSource::Start(const std::string& path) {
    m_bStream = IsCaptureStream(path);
    m_strName = NameOf(path);
    m_bAccepted = false;
    if (m_bStream) {
        // A stream runs as a capture does, named from its start; its rows come
        // with its header, maybe much later.
        m_previousSource = m_files.ShownCaptureSource();
        ShowCaptureRunning(m_window, true);
        m_files.ShowCaptureSource(path == "-" ? ShownSource{SourceKind::StandardInput, {}}
                                              : ShownSource{SourceKind::Fifo, m_strName});
    }

    auto reader = std::make_shared<CaptureFileReader>();
    const std::string filter = *m_filter.Load();
    const uint64_t limit = m_nMemoryLimit != 0 ? m_nMemoryLimit : DefaultMemoryLimit();
    // The previous worker has posted its last task: joining it is quick.
    if (m_worker.joinable()) m_worker.join();
    try {
        m_worker = std::thread([this, reader, path, filter, limit, alive = m_alive] {
            const auto accepted = [this, alive] {
                m_window.RunOnWindowThread([this, alive] {
                    if (*alive) OnAccepted();
                });
            };
            const CaptureFileResult result =
                reader->Read(path, filter, m_intake, limit, {}, accepted);
            m_window.RunOnWindowThread([this, alive, result] {
                if (*alive) OnFinished(result);
            });
        });
    } catch (const std::system_error&) {
        m_reader = std::move(reader);
        CaptureFileResult result;
        result.end = CaptureFileEnd::CannotOpen;
        OnFinished(result);
        return;
    }
    m_reader = std::move(reader);
    if (!m_bStream) m_files.ShowReadProgress(FileSize(path));
}

void CaptureSource::OnAccepted() {
    // The worker has emptied the store; the list follows on its next refresh.
    m_bAccepted = true;
    // Rows of a regular file can be read again.
    if (!m_bStream) m_guard.MarkReadAgain();
    m_files.SetCaptureName(m_strName);
    if (!m_bStream) m_files.ShowCaptureSource({SourceKind::File, m_strName});
}

void CaptureSource::OnFinished(const CaptureFileResult& result) {
    if (m_worker.joinable()) m_worker.join();
    m_reader.reset();
    if (m_bStream) {
        ShowCaptureRunning(m_window, false);
        // Ended before its header: the rows shown are still those named before.
        if (!m_bAccepted) m_files.ShowCaptureSource(m_previousSource);
    } else {
        m_files.HideReadProgress();
    }
    switch (result.end) {
        case CaptureFileEnd::Finished:
            break;
        case CaptureFileEnd::Stopped:
            // A file cancelled part-way: the list holds only its beginning.
            if (!m_bStream && m_bAccepted)
                m_files.ShowCaptureSource({SourceKind::File, m_strName, result.framesRead});
            break;
        case CaptureFileEnd::MemoryFull:
            m_window.ShowMessage(kMemoryFullMessage, kWarningCaption);
            break;
        case CaptureFileEnd::CutShort:
            m_window.ShowMessage(CutShortMessage(result.framesRead), kWarningCaption);
            break;
        case CaptureFileEnd::CannotOpen:
            m_window.ShowMessage(kCannotOpenMessage, kErrorCaption);
            break;
        case CaptureFileEnd::NotEthernet:
            m_window.ShowMessage(result.detail, kErrorCaption);
            break;
        case CaptureFileEnd::FilterFailed:
            m_window.ShowMessage(FilterFailedMessage(result.detail), kErrorCaption);
            break;
    }
}

void CaptureSource::Stop() {
    if (m_reader != nullptr) m_reader->Stop();
}

void CaptureSource::OnSave() {
    const CapturePhase live = m_livePhase ? m_livePhase() : CapturePhase::Idle;
    if (Busy() || live == CapturePhase::Starting || live == CapturePhase::Running) {
        m_window.ShowMessage(kStopFirstMessage, kWarningCaption);
        return;
    }
    if (m_store.Empty()) {
        m_window.ShowMessage(kNoPacketMessage, kWarningCaption);
        return;
    }
    // With no read and no capture running, nothing else empties the store, so
    // the generation read here is the one the rows come from.
    const uint64_t generation = m_store.Generation();
    std::vector<StoredPacket> packets;
    const bool subset = m_files.ShownPackets(packets);
    if (!subset) packets = m_store.Snapshot();
    if (packets.empty()) {
        m_window.ShowMessage(kNoPacketMessage, kWarningCaption);
        return;
    }
    const size_t count = packets.size();
    const bool whole = count == m_store.Count();
    const std::string path = m_files.AskSavePath();
    if (path.empty()) return;
    const int result = m_files.SavePcap(path, std::move(packets), m_store.LinkType());
    if (result == SAVE_OK) {
        if (whole) m_guard.MarkSaved(generation, count);
        m_window.ShowMessage(kSavedMessage, kSuccessCaption);
    } else if (result != SAVE_CANCELLED) {
        m_window.ShowMessage(kSaveFailedMessage, kErrorCaption);
    }
}

bool CaptureSource::BeforeCaptureToggle() {
    if (Busy()) {
        Stop();
        return false;
    }
    // Only a toggle that starts (or queues) a capture empties the store.
    const CapturePhase live = m_livePhase ? m_livePhase() : CapturePhase::Idle;
    if (live != CapturePhase::Idle && live != CapturePhase::Stopping) return true;
    const bool discard =
        m_guard.ConfirmDiscard([this](const std::string& text, const std::string& caption) {
            return m_files.AskYesNo(text, caption);
        });
    // The hot key may have toggled while the question was open: the click
    // then no longer means a start.
    return discard && !Busy() && (!m_livePhase || m_livePhase() == live);
}

bool CaptureSource::StopForHotKey() {
    if (!Busy()) return false;
    Stop();
    return true;
}

bool CaptureSource::ConfirmClose() {
    return m_guard.ConfirmDiscard([this](const std::string& text, const std::string& caption) {
        return m_files.AskYesNo(text, caption);
    });
}

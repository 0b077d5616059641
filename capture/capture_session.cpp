#include "capture/capture_session.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "common/message_texts.h"
#include "intake/memory_limit.h"

namespace {

constexpr auto kStatsInterval = std::chrono::seconds(1);
// How long a helper told to stop may take to flush and end before it is killed.
constexpr auto kHelperGrace = std::chrono::seconds(2);
constexpr char kDevicesFailedMessage[] = "Can't retrieve devices ! Make sure libpcap is installed";
constexpr char kNoDevicesMessage[] = "No interface found ! Make sure libpcap is installed";

}  // namespace

// ---------------------------------------------------------------------------
// The session on the window's thread

CaptureSession::CaptureSession(CaptureWindow& window, PacketStore& store, const SharedText& filter,
                               const SharedText& dataContains,
                               PacketIntake::RowObserver rowObserver)
    : m_window(window), m_filter(filter), m_intake(store, dataContains, std::move(rowObserver)) {}

CaptureSession::~CaptureSession() {
    *m_alive = false;
    m_bStartQueued = false;
    if (m_state != nullptr) m_state->RequestStop();
    // The controller only posts to the window and never waits for it, so this
    // wait ends within one read time-out.
    if (m_controller.joinable()) m_controller.join();
}

int CaptureSession::FillDeviceList() {
    std::vector<InterfaceEntry> interfaces;
    if (EnumerateInterfaces(interfaces) != 0) {
        m_window.ShowMessage(kDevicesFailedMessage, kErrorCaption);
        return kDevicesFailed;
    }
    m_window.ResetInterfaceList();
    m_interfaces = std::move(interfaces);
    for (size_t i = 0; i < m_interfaces.size(); ++i) {
        const int index = static_cast<int>(i);
        m_window.AddInterfaceEntry(InterfaceEntryText(index, m_interfaces[i]),
                                   InterfaceEntryWholeText(index, m_interfaces[i]));
    }
    if (m_interfaces.empty()) {
        m_window.ShowMessage(kNoDevicesMessage, kErrorCaption);
        return kNoDevices;
    }
    m_window.SelectInterface(0);
    return 0;
}

void CaptureSession::OnCapture() {
    switch (m_phase) {
        case CapturePhase::Idle:
            ShowCaptureRunning(m_window, true);
            LaunchController();
            break;
        case CapturePhase::Starting:
        case CapturePhase::Running:
            // Stop, cancel a start the controller is still making, or withdraw a
            // queued one: the capture not yet finished goes on finishing.
            if (m_bStartQueued) {
                m_bStartQueued = false;
            } else {
                m_state->RequestStop();
            }
            m_phase = CapturePhase::Stopping;
            ShowCaptureRunning(m_window, false);
            break;
        case CapturePhase::Stopping:
            m_bStartQueued = true;
            m_phase = CapturePhase::Starting;
            ShowCaptureRunning(m_window, true);
            break;
    }
}

CaptureStatistics CaptureSession::Statistics() const {
    const IntakeCounters counters = m_intake.Counters();
    CaptureStatistics statistics;
    statistics.received = counters.received;
    // The kernel's drops and the frames the intake had no memory for.
    statistics.dropped = m_nDropped.load(std::memory_order_relaxed) + counters.dropped;
    statistics.leftOut = counters.leftOut;
    statistics.rows = counters.rows;
    statistics.storeBytes = counters.storeBytes;
    return statistics;
}

void CaptureSession::PublishDrops(const CaptureStats& stats) {
    if (stats.valid) {
        m_nDropped.store(uint64_t{stats.dropped} + stats.ifDropped, std::memory_order_relaxed);
    }
}

void CaptureSession::LaunchController() {
    m_window.ClearPackets();
    m_nDropped.store(0, std::memory_order_relaxed);
    int selected = m_window.SelectedInterface();
    if (selected < 0) selected = 0;
    // An empty name fails to open, as does the name of an interface removed
    // since the list was filled.
    const std::string name = static_cast<size_t>(selected) < m_interfaces.size()
                                 ? m_interfaces[static_cast<size_t>(selected)].name
                                 : std::string();

    auto state = std::make_shared<CaptureState>();
    auto previous = std::make_shared<std::thread>(std::move(m_controller));
    try {
        m_controller = std::thread([this, state, name, previous] {
            // The previous controller has posted its last task and is ending.
            if (previous->joinable()) previous->join();
            CaptureThreadProc(state, name);
        });
    } catch (const std::system_error&) {
        m_controller = std::move(*previous);
        m_phase = CapturePhase::Idle;
        ShowCaptureRunning(m_window, false);
        m_window.ShowMessage(StartFailureMessage(StartFailure::OpenAdapter), kErrorCaption);
        return;
    }
    m_state = std::move(state);
    m_phase = CapturePhase::Starting;
}

void CaptureSession::OnControllerRunning(const std::shared_ptr<CaptureState>& state) {
    if (state == m_state && m_phase == CapturePhase::Starting && !m_bStartQueued &&
        state->IsRunning()) {
        m_phase = CapturePhase::Running;
    }
}

void CaptureSession::OnControllerFinished(const std::shared_ptr<CaptureState>& state,
                                          std::string message, std::string caption,
                                          CaptureStats stats) {
    if (state != m_state) return;
    m_state.reset();
    if (stats.valid) m_lastStats = stats;
    if (m_bStartQueued) {
        m_bStartQueued = false;
        LaunchController();
    } else {
        m_phase = CapturePhase::Idle;
        ShowCaptureRunning(m_window, false);
    }
    // Last: the message box may run other queued tasks before it returns, and
    // they find the session in a settled state.
    if (!message.empty()) m_window.ShowMessage(message, caption);
}

// ---------------------------------------------------------------------------
// Worker threads

void CaptureSession::PostToWindow(std::function<void()> task) {
    m_window.RunOnWindowThread([alive = m_alive, task = std::move(task)] {
        if (*alive) task();
    });
}

void CaptureSession::CaptureThreadProc(const std::shared_ptr<CaptureState>& state,
                                       const std::string& interfaceName) {
    const StartFailure failure = state->Open(interfaceName, *m_filter.Load());
    if (failure != StartFailure::None) {
        // A start that was cancelled meanwhile fails quietly.
        const bool cancelled = state->StopRequested();
        state->RequestStop();
        std::string message = cancelled ? std::string() : state->FailureMessage(failure);
        PostToWindow([this, state, message = std::move(message)]() mutable {
            OnControllerFinished(state, std::move(message), kErrorCaption, {});
        });
        return;
    }
    if (!state->SetRunning()) {
        state->Release();
        state->Finish(kHelperGrace);
        PostToWindow([this, state] { OnControllerFinished(state, {}, {}, {}); });
        return;
    }
    // Time cells count from here, in the clock of the frames' timestamps.
    const uint64_t limit = m_nMemoryLimit != 0 ? m_nMemoryLimit : DefaultMemoryLimit();
    m_intake.Restart(
        WallClock(), limit,
        [weak = std::weak_ptr<CaptureState>(state)] {
            if (auto full = weak.lock()) full->StopForMemory();
        },
        state->m_nLinkType);
    PostToWindow([this, state] { OnControllerRunning(state); });

    struct Running {
        std::mutex lock;
        std::condition_variable ended;
        int count = 0;
    } running;
    std::vector<std::thread> readers;
    try {
        for (int i = 0; i < kReaderCount; ++i) {
            {
                std::scoped_lock lock(running.lock);
                ++running.count;
            }
            readers.emplace_back([this, &state, &running] {
                ReaderThreadProc(*state);
                std::scoped_lock lock(running.lock);
                --running.count;
                running.ended.notify_all();
            });
        }
    } catch (const std::system_error&) {
        // Too few threads to read with: end the capture as an interface error.
        std::scoped_lock lock(running.lock);
        running.count = static_cast<int>(readers.size());
        state->RequestStop();
    }
    // The helper's drop counters while the readers run, once a second. The
    // readers end with the stream; a helper that does not end after a stop is
    // killed, which ends the stream too.
    {
        std::unique_lock lock(running.lock);
        auto stopSeen = std::chrono::steady_clock::time_point::max();
        while (!running.ended.wait_for(lock, kStatsInterval, [&] { return running.count == 0; })) {
            lock.unlock();
            PublishDrops(state->Stats());
            const auto now = std::chrono::steady_clock::now();
            if (state->StopRequested() && stopSeen == stopSeen.max()) stopSeen = now;
            if (now - stopSeen >= kHelperGrace) state->KillHelper();
            lock.lock();
        }
    }
    for (auto& reader : readers) reader.join();

    const CaptureStats stats = state->Finish(kHelperGrace);
    PublishDrops(stats);
    state->Release();
    std::string message;
    std::string caption;
    if (state->StoppedByReadError()) {
        message = kReadErrorMessage;
        caption = kErrorCaption;
    } else if (state->StoppedForMemory()) {
        message = kMemoryFullMessage;
        caption = kWarningCaption;
    } else if (state->HelperEndedUnexpectedly()) {
        message = kHelperEndedMessage;
        caption = kWarningCaption;
    }
    PostToWindow(
        [this, state, message = std::move(message), caption = std::move(caption), stats]() mutable {
            OnControllerFinished(state, std::move(message), std::move(caption), stats);
        });
}

void CaptureSession::ReaderThreadProc(CaptureState& state) {
    PacketIntake::Reader reader(m_intake);
    // Until the stream ends: after a stop the helper still hands over what the
    // kernel held, and every frame it wrote is taken in.
    for (;;) {
        int result = 0;
        {
            std::scoped_lock lock(state.m_readLock);
            pcap_pkthdr* header = nullptr;
            const u_char* data = nullptr;
            result = state.NextFrame(&header, &data);
            // The bytes are valid only until the next call on the handle: the
            // frame is kept, and takes its place in the store's order, here.
            if (result == 1) reader.Take(FrameInfoOf(*header, state.m_bNanoseconds), data);
        }
        if (result != 1) break;
        reader.Finish();
    }
}

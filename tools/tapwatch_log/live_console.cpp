#include "tools/tapwatch_log/live_console.h"

#include <limits>

#include "capture/capture_session.h"
#include "common/message_texts.h"
#include "common/shared_text.h"
#include "common/stop_signals.h"
#include "tools/tapwatch_log/console_window.h"

namespace {

// The entry of the interface named `wanted`, else the entry numbered `wanted`;
// -1 when there is neither.
int FindInterface(const std::vector<InterfaceEntry>& interfaces, const std::string& wanted) {
    for (size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].name == wanted) return static_cast<int>(i);
    }
    if (wanted.empty() || wanted.size() > 9 ||
        wanted.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    const size_t index = std::stoul(wanted);
    return index < interfaces.size() ? static_cast<int>(index) : -1;
}

}  // namespace

int RunConsoleCapture(const ConsoleCaptureOptions& options, PacketStore& store) {
    const SharedText filter(options.filter);
    const SharedText dataContains(options.dataContains);
    ConsoleWindow window(store, options.program, options.messages);
    // Declared after the window: destroyed first, while the window still takes posts.
    CaptureSession session(window, store, filter, dataContains, options.onRow);
    session.SetMemoryLimit(options.memoryLimit);
    const StopSignals signals;
    TaskQueue& queue = window.Queue();
    const auto forever = std::chrono::milliseconds{std::numeric_limits<int>::max()};
    const auto stopWanted = [&] {
        return StopSignals::Caught() || (options.stop != nullptr && options.stop->load());
    };
    const auto tick = [&] {
        if (options.onTick) options.onTick();
    };

    if (session.FillDeviceList() != 0) return kConsoleCaptureNoStart;
    const int index = FindInterface(session.Interfaces(), options.interface);
    if (index < 0) {
        std::string list;
        for (const std::string& entry : window.Entries()) list += "\n  " + entry;
        window.ShowMessage("No interface \"" + options.interface + "\" in the list:" + list,
                           kErrorCaption);
        return kConsoleCaptureNoStart;
    }
    window.SelectInterface(index);

    session.OnCapture();
    queue.RunUntil([&] { return session.Phase() != CapturePhase::Starting || stopWanted(); },
                   forever);
    const bool ran = session.Phase() == CapturePhase::Running;
    if (ran) {
        if (options.onRunning) options.onRunning();
        const bool timed = options.durationSeconds > 0;
        const auto deadline =
            std::chrono::steady_clock::now() +
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(timed ? options.durationSeconds : 0));
        queue.RunUntil(
            [&] {
                tick();
                return session.Phase() != CapturePhase::Running || stopWanted() ||
                       (timed && std::chrono::steady_clock::now() >= deadline);
            },
            forever, options.tick);
    }
    if (session.Phase() == CapturePhase::Starting || session.Phase() == CapturePhase::Running) {
        session.OnCapture();
    }
    queue.RunUntil(
        [&] {
            tick();
            return session.Phase() == CapturePhase::Idle;
        },
        forever, options.tick);
    tick();
    if (options.statistics != nullptr) *options.statistics = session.Statistics();
    if (window.ErrorsShown() == 0) return kConsoleCaptureEnded;
    return ran ? kConsoleCaptureFailed : kConsoleCaptureNoStart;
}

// Shared pieces of the capture tests: a recording window whose thread is the
// test's own, network namespaces made and removed by the test, and loopback
// UDP traffic.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture/capture_session.h"
#include "capture/capture_window.h"
#include "common/task_queue.h"
#include "intake/packet_store.h"

using namespace std::chrono_literals;

bool IsRoot();

#define SKIP_UNLESS_ROOT()                                                              \
    do {                                                                                \
        if (!IsRoot()) GTEST_SKIP() << "live capture and network namespaces need root"; \
    } while (0)

// Records what the session does to the window; the test's thread is the
// window's thread and runs the posted tasks through Pump.
class FakeWindow : public CaptureWindow {
  public:
    explicit FakeWindow(PacketStore& store) : m_store(store) {}

    struct Message {
        std::string text;
        std::string caption;
    };

    void RunOnWindowThread(std::function<void()> task) override { m_queue.Post(std::move(task)); }
    void ResetInterfaceList() override {
        entries.clear();
        selected = -1;
    }
    void AddInterfaceEntry(const std::string& text, const std::string&) override {
        entries.push_back(text);
    }
    void SelectInterface(int index) override { selected = index; }
    int SelectedInterface() const override { return selected; }
    void EnableControl(int id, bool enable) override {
        CheckThread();
        enabled[id] = enable;
    }
    void SetCaptureButton(int icon, const std::string& text) override {
        CheckThread();
        buttonIcon = icon;
        buttonCaption = text;
    }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        CheckThread();
        messages.push_back({text, caption});
    }
    void ClearPackets() override {
        CheckThread();
        ++clears;
        m_store.ClearPackets();
    }

    // Runs posted tasks until `done` holds; false after `timeout`.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
        return m_queue.RunUntil(done, timeout);
    }
    void PumpFor(std::chrono::milliseconds time) {
        m_queue.RunUntil([] { return false; }, time);
    }
    TaskQueue& Queue() { return m_queue; }

    // True when every command button is enabled (or every one disabled).
    bool CommandsEnabled(bool enable) const {
        for (int id : {IDC_CLEAR, IDC_SAVE_XML, IDC_DECODE, IDC_SET_FILTER}) {
            auto it = enabled.find(id);
            if (it == enabled.end() || it->second != enable) return false;
        }
        return true;
    }
    bool ShowsIdle() const {
        return CommandsEnabled(true) && buttonIcon == IDI_CAPTURE && buttonCaption == "Capture";
    }
    bool ShowsBusy() const {
        return CommandsEnabled(false) && buttonIcon == IDI_STOP && buttonCaption == "Stop";
    }

    std::vector<std::string> entries;
    int selected = -1;
    std::map<int, bool> enabled;
    int buttonIcon = 0;
    std::string buttonCaption;
    std::vector<Message> messages;
    int clears = 0;
    // Set when a window operation ran on another thread than the one that made
    // the window.
    std::atomic<bool> wrongThread{false};

  private:
    void CheckThread() {
        if (std::this_thread::get_id() != m_owner) wrongThread = true;
    }

    PacketStore& m_store;
    TaskQueue m_queue;
    std::thread::id m_owner = std::this_thread::get_id();
};

// Runs a shell command; its exit status.
int Sh(const std::string& command);

// A network namespace of this test process, removed again by the destructor
// (with every interface in it). IPv6 is off inside, so nothing but the test's
// own traffic appears on its links.
class NetNamespace {
  public:
    NetNamespace();
    ~NetNamespace();
    NetNamespace(const NetNamespace&) = delete;
    NetNamespace& operator=(const NetNamespace&) = delete;

    const std::string& Name() const { return m_name; }
    bool Ok() const { return m_bOk; }
    // Runs `command` inside the namespace; its exit status.
    int Exec(const std::string& command) const;
    // The MAC address text of `device` inside the namespace ("aa:bb:...").
    std::string Mac(const std::string& device) const;

  private:
    std::string m_name;
    bool m_bOk = false;
};

// Moves the calling thread (and the threads it starts from now on) into a
// namespace, and back out when it goes.
class EnterNamespace {
  public:
    explicit EnterNamespace(const NetNamespace& ns);
    ~EnterNamespace();
    EnterNamespace(const EnterNamespace&) = delete;
    EnterNamespace& operator=(const EnterNamespace&) = delete;
    bool Ok() const { return m_bOk; }

  private:
    int m_original = -1;
    bool m_bOk = false;
};

// A UDP socket bound to 127.0.0.1 on a port of its own; nothing reads it, it
// only keeps the datagrams sent to it from being refused.
class UdpReceiver {
  public:
    UdpReceiver();
    ~UdpReceiver();
    uint16_t Port() const { return m_port; }

  private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// Sends datagrams "<tag><seq>" to 127.0.0.1:port, seq from `first`; how many
// went out.
int SendUdp(uint16_t port, const std::string& tag, int first, int count);

// The store's payloads as text, in store order.
std::vector<std::string> Payloads(const PacketStore& store);

// Index of the entry of `name` in the session's list, or -1.
int InterfaceIndex(const CaptureSession& session, const std::string& name);

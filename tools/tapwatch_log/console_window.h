// The capture window of a program without a desktop: the thread that owns it
// runs the posted tasks from its TaskQueue, messages go to a stream (standard
// error), and the buttons it does not have are no-ops.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture_window.h"
#include "common/task_queue.h"
#include "intake/packet_store.h"

class ConsoleWindow : public CaptureWindow {
  public:
    // Messages are written as "<prefix>: <text>".
    explicit ConsoleWindow(PacketStore& store, std::string prefix = "tapwatch",
                           std::FILE* messages = stderr);

    // The owning thread runs what was posted.
    TaskQueue& Queue() { return m_queue; }
    // The combo box entries, whole, as listed.
    const std::vector<std::string>& Entries() const { return m_entries; }
    size_t MessagesShown() const { return m_nMessages; }
    // Of those, the ones with the caption "Error".
    size_t ErrorsShown() const { return m_nErrors; }

    void RunOnWindowThread(std::function<void()> task) override;
    void ResetInterfaceList() override;
    // The list names every entry whole.
    void AddInterfaceEntry(const std::string& text, const std::string& wholeText) override;
    void SelectInterface(int index) override { m_nSelected = index; }
    int SelectedInterface() const override { return m_nSelected; }
    void EnableControl(int, bool) override {}
    void SetCaptureButton(int, const std::string&) override {}
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void ClearPackets() override { m_store.ClearPackets(); }

  private:
    PacketStore& m_store;
    std::string m_prefix;
    std::FILE* m_pMessages;
    TaskQueue m_queue;
    std::vector<std::string> m_entries;
    int m_nSelected = -1;
    size_t m_nMessages = 0;
    size_t m_nErrors = 0;
};

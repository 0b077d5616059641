// What the capture session needs from the main window: the interface combo box,
// the command buttons' states, the Capture/Stop button, message boxes and the
// emptying of the packet list. The main window implements it; the console
// companion and the tests have their own.
//
// Every operation except RunOnWindowThread is called on the window's thread
// only. Worker threads never call them: they post a closure with
// RunOnWindowThread and go on without waiting, so a window that is busy (a
// message box open) or shutting down never holds a worker up.
#pragma once

#include <array>
#include <functional>
#include <string>

// Control ids of the main window that the session touches.
enum CaptureControl : int {
    IDC_CAPTURE = 1002,     // the Capture/Stop toggle
    IDC_CLEAR = 1003,       // Clear
    IDC_SAVE_XML = 1004,    // Save XML
    IDC_INTERFACES = 1010,  // the interface combo box
    IDC_DECODE = 1017,      // Decode
    IDC_SET_FILTER = 1036,  // Set Filter
};

// Icons of the Capture/Stop button.
enum CaptureIcon : int {
    IDI_STOP = 134,
    IDI_CAPTURE = 135,
};

class CaptureWindow {
  public:
    virtual ~CaptureWindow() = default;

    // Any thread. Queues `task` to run later on the window's thread and returns
    // at once; never runs it on the caller's stack when called from a worker.
    // A window that is gone may drop queued tasks unrun (destroying them).
    virtual void RunOnWindowThread(std::function<void()> task) = 0;

    // The interface combo box (control 1010).
    virtual void ResetInterfaceList() = 0;  // CB_RESETCONTENT
    // CB_ADDSTRING of `text`, the entry as cut to its length; `wholeText` is
    // the entry uncut, for a window that can show it (a tooltip).
    virtual void AddInterfaceEntry(const std::string& text, const std::string& wholeText) = 0;
    virtual void SelectInterface(int index) = 0;  // CB_SETCURSEL
    virtual int SelectedInterface() const = 0;    // CB_GETCURSEL, -1 for none

    virtual void EnableControl(int controlId, bool enable) = 0;
    // Icon and caption of button 1002.
    virtual void SetCaptureButton(int iconId, const std::string& caption) = 0;
    // A modal message box owned by the window, OK button only. It may run a
    // nested event loop, so other queued tasks can run before it returns.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // Empties the packet list and the packet store.
    virtual void ClearPackets() = 0;
};

// The commands a running capture disables (a stream read like one too).
inline constexpr std::array<int, 4> kCaptureCommandControls = {IDC_CLEAR, IDC_SAVE_XML, IDC_DECODE,
                                                               IDC_SET_FILTER};

// Shows a capture starting or running (the commands off, the button "Stop"),
// or none (the commands on, the button "Capture"). Window's thread.
inline void ShowCaptureRunning(CaptureWindow& window, bool running) {
    for (const int id : kCaptureCommandControls) window.EnableControl(id, !running);
    if (running) {
        window.SetCaptureButton(IDI_STOP, "Stop");
    } else {
        window.SetCaptureButton(IDI_CAPTURE, "Capture");
    }
}

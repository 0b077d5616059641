// The main window: the interface list, the packet list over the store, the
// Details tree, the command buttons, the transparency slider and Always on top.
// It owns the store, the capture session and the Filter editor, and carries out
// on its own thread whatever the capture threads ask of it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/save_xml.h"
#include "capture/capture_statistics.h"
#include "capture/capture_window.h"
#include "capture/packet_store.h"
#include "capture/status_texts.h"
#include "filter/filter_dlg.h"

namespace Ui {
class CaptureDlg;
}
class CaptureSession;
class CIconButton;
class HotKeyPoller;
class PacketListModel;
class QLabel;
class QTableView;
class QTreeWidget;

class CCaptureDlg : public QDialog, public CaptureWindow {
    Q_OBJECT
public:
    // Shows message boxes; tests replace it to see what the user would be told.
    using MessageSink = std::function<void(const std::string& text, const std::string& caption)>;

    // `startHotKey` is off for windows that must not watch the keyboard (tests).
    explicit CCaptureDlg(bool startHotKey = true, QWidget* parent = nullptr);
    ~CCaptureDlg() override;

    // Window initialisation: the interface list; false when the interfaces
    // cannot be enumerated at all (the program then ends with exit code 1).
    bool Initialise();

    void SetMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }
    // Replaces the save-file dialog of Save XML (tests).
    void SetLogFileChooser(LogFileChooser chooser) { m_logFileChooser = std::move(chooser); }

    // CaptureWindow.
    void RunOnWindowThread(std::function<void()> task) override;
    void ResetInterfaceList() override;
    void AddInterfaceEntry(const std::string& text) override;
    void SelectInterface(int index) override;
    int SelectedInterface() const override;
    void EnableControl(int controlId, bool enable) override;
    void SetCaptureButton(int iconId, const std::string& caption) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void ClearPackets() override;

    // What the list shows: set to the interface when a capture starts; a file
    // or a stream sets its own.
    void SetSource(CaptureSource source);
    const CaptureSource& Source() const { return m_source; }

    PacketStore& Packets() { return m_packets; }
    CaptureSession& Session() { return *m_session; }
    PacketListModel& Model() { return *m_model; }
    CFilterDlg& FilterDlg() { return m_filterDlg; }

public slots:
    void OnCapture();
    void OnClear();
    void OnSaveXml();
    void OnDecode();
    void OnSetFilter();
    void OnCopyPacket();
    // A mouse click in the packet list that leaves a row selected shows that
    // packet in the Details tree; keyboard moves do not.
    void OnPacketListClick();
    void OnAbout();
    void OnAlwaysOnTop(bool checked);
    void OnTransparency();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUpButtons();
    void SetUpList();
    void SetUpInterfaceList();
    void SetUpStatusBar();
    // Sizes the window for its controls and makes that its smallest size.
    void SetFirstSize();
    // Refreshes the status bar; runs on the list's refresh tick.
    void UpdateStatusBar();
    // The counters of the capture shown so far.
    CaptureStatistics Statistics() const;
    CIconButton* Button(int controlId) const;
    // Stops a running capture and ends its threads, and the hot key; the
    // window's state goes only after that.
    void ShutDown();

    std::unique_ptr<Ui::CaptureDlg> m_ui;
    PacketStore m_packets;
    CFilterDlg m_filterDlg;
    PacketListModel* m_model = nullptr;
    std::unique_ptr<CaptureSession> m_session;
    std::unique_ptr<HotKeyPoller> m_hotKey;
    MessageSink m_messageSink;
    LogFileChooser m_logFileChooser;
    bool m_bShutDown = false;

    // Status bar: one label per field of StatusTexts, in that order.
    std::vector<QLabel*> m_statusLabels;
    CaptureSource m_source;
    // Whether a capture has run since the window opened, and whether one runs
    // (starting or running) at the last refresh.
    bool m_bCaptured = false;
    bool m_bCaptureActive = false;
    QElapsedTimer m_captureClock;
    // The filter the running capture compiled at its start.
    std::string m_strCaptureFilter;
};

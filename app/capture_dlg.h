// The main window: the interface list, the packet list over the store, the
// Details tree, the command buttons, the transparency slider and Always on top.
// It owns the store, the capture session and the Filter editor, and carries out
// on its own thread whatever the capture threads ask of it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/capture_files.h"
#include "app/capture_source.h"
#include "app/save_xml.h"
#include "app/status_texts.h"
#include "capture/capture_statistics.h"
#include "capture/capture_window.h"
#include "filter/filter_dlg.h"
#include "intake/packet_store.h"

namespace Ui {
class CaptureDlg;
}
class CaptureSession;
class CIconButton;
class FilterBar;
class FindBar;
class HotKeyPoller;
class PacketListModel;
class QLabel;
class QProgressDialog;
class QTableView;
class QTimer;
class WindowRequest;
class QTreeWidget;
class StatisticsWindow;

class CCaptureDlg : public QDialog, public CaptureWindow, public CaptureFilesWindow {
    Q_OBJECT
  public:
    // The window's caption; a file opened adds its name.
    static constexpr char kCaption[] = "Tapwatch v2.0";

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
    // Replace the Yes/No boxes and the file dialogs of Open and Save (tests).
    using QuestionSink = std::function<bool(const std::string& text, const std::string& caption)>;
    void SetQuestionSink(QuestionSink sink) { m_questionSink = std::move(sink); }
    void SetOpenFileChooser(CaptureFileChooser chooser) { m_openChooser = std::move(chooser); }
    void SetPcapFileChooser(CaptureFileChooser chooser) { m_pcapChooser = std::move(chooser); }

    // Opens a capture file or stream as a drop does (the command line).
    void OpenCapture(const QString& path);
    // Sets the display filter as Enter in its bar does (the command line's -Y).
    void SetDisplayFilter(const QString& expression);
    FilterBar& DisplayFilterBar() { return *m_filterBar; }
    FindBar& PacketFindBar() { return *m_findBar; }

    // CaptureWindow.
    void RunOnWindowThread(std::function<void()> task) override;
    void ResetInterfaceList() override;
    void AddInterfaceEntry(const std::string& text, const std::string& wholeText) override;
    void SelectInterface(int index) override;
    int SelectedInterface() const override;
    void EnableControl(int controlId, bool enable) override;
    void SetCaptureButton(int iconId, const std::string& caption) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void ClearPackets() override;

    // What the status bar names as the list's source: the interface when a
    // capture starts, the file or the stream when one is opened.
    void SetShownSource(ShownSource source);
    const ShownSource& Shown() const { return m_shown; }

    // CaptureFilesWindow.
    std::string AskOpenPath() override;
    std::string AskSavePath() override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    int SavePcap(const std::string& path, std::vector<StoredPacket> packets, int linkType) override;
    bool ShownPackets(std::vector<StoredPacket>& packets) override;
    void SetCaptureName(const std::string& name) override;
    void ShowCaptureSource(const ShownSource& source) override;
    ShownSource ShownCaptureSource() const override;
    void ShowReadProgress(uint64_t totalBytes) override;
    void HideReadProgress() override;

    PacketStore& Packets() { return m_packets; }
    CaptureSession& Session() { return *m_session; }
    CaptureSource& Source() { return *m_source; }
    PacketListModel& Model() { return *m_model; }
    CFilterDlg& FilterDlg() { return m_filterDlg; }

  public slots:
    void OnCapture();
    // Ctrl+F12: stops a file or stream being read, else the capture toggle,
    // without any question.
    void OnHotKey();
    void OnClear();
    void OnSaveXml();
    void OnOpen();
    void OnSavePcap();
    void OnDecode();
    void OnSetFilter();
    void OnCopyPacket();
    // The Statistics window (capture_dlg_statistics.cpp), made on first use
    // and shown again after that; Ctrl+T.
    void OnStatistics();
    // The packet list's selection moved (a click, the arrow and page keys,
    // Home, End): the Details tree shows the packet of the selected row. With
    // no row selected it keeps what it shows.
    void OnPacketSelectionChanged();
    void OnAbout();
    // The view over the list (capture_dlg_view.cpp): Ctrl+F and F3 or
    // Shift+F3, Ctrl+G, a click on a column's header, a right-click on a row.
    void OnFind(bool forward);
    void OnGoTo();
    void OnSortColumn(int column);
    void OnListMenu(const QPoint& position);
    void OnAlwaysOnTop(bool checked);
    void OnTransparency();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void SetUpButtons();
    void SetUpList();
    void SetUpInterfaceList();
    void SetUpStatusBar();
    // The display filter bar above the list, the find bar under it, the
    // sortable header, the rows' menu and the keys of all these.
    void SetUpView();
    // Selects row `row` of the list and shows it, as a click does.
    void SelectRow(int row);
    // A note in the status bar for a few seconds.
    void ShowNote(const QString& note);
    // Sizes the window for its controls and makes that its smallest size.
    void SetFirstSize();
    // Widens Num and Time when their largest value has more digits than they
    // were last sized for; runs on the list's refresh tick.
    void FitNumberColumns();
    // Whether `widget` is a dialog or progress window opened over this one.
    bool IsOwnModal(const QWidget* widget) const;
    // Follows this window's modal dialogs and progress windows (shown, hidden).
    void TrackModal(QWidget* widget, bool shown);
    // Once the last of them has gone: this window active again, the keyboard
    // focus where it was before the first opened.
    void RestoreAfterModal();
    // Refreshes the status bar; runs on the list's refresh tick.
    void UpdateStatusBar();
    // The counters of the capture shown so far.
    CaptureStatistics Statistics() const;
    CIconButton* Button(int controlId) const;
    // Stops a running capture and ends its threads, and the hot key; the
    // window's state goes only after that.
    void ShutDown();

    std::unique_ptr<Ui::CaptureDlg> m_ui;
    FilterBar* m_filterBar = nullptr;
    FindBar* m_findBar = nullptr;
    // The store entry selected when the list was rebuilt, to select it again.
    std::optional<size_t> m_keepEntry;
    uint64_t m_keepGeneration = 0;
    int m_keepScroll = 0;
    PacketStore m_packets;
    CFilterDlg m_filterDlg;
    PacketListModel* m_model = nullptr;
    StatisticsWindow* m_statistics = nullptr;
    std::unique_ptr<CaptureSession> m_session;
    std::unique_ptr<CaptureSource> m_source;
    std::shared_ptr<WindowRequest> m_hotKeyRequest;
    std::unique_ptr<HotKeyPoller> m_hotKey;
    QProgressDialog* m_readProgress = nullptr;
    QTimer* m_readProgressTimer = nullptr;
    uint64_t m_nReadTotal = 0;
    QuestionSink m_questionSink;
    CaptureFileChooser m_openChooser;
    CaptureFileChooser m_pcapChooser;
    MessageSink m_messageSink;
    LogFileChooser m_logFileChooser;
    bool m_bShutDown = false;
    // The modal windows open over this one, and where the focus was before.
    std::vector<QPointer<QWidget>> m_modals;
    QPointer<QWidget> m_focusBeforeModal;
    // The digit counts Num and Time were last widened for.
    int m_numDigits = 0;
    int m_timeDigits = 0;
    // The row whose packet the Details tree shows; -1 for none of this list.
    int m_detailsRow = -1;

    // Status bar: one label per field of StatusTexts, in that order.
    std::vector<QLabel*> m_statusLabels;
    ShownSource m_shown;
    // Whether a capture has run since the window opened, and whether one runs
    // (starting or running) at the last refresh.
    bool m_bCaptured = false;
    bool m_bCaptureActive = false;
    QElapsedTimer m_captureClock;
    // The filter the running capture compiled at its start.
    std::string m_strCaptureFilter;
};

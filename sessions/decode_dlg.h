// The "Decode mode" window: a thin Qt class over CDecodeLogic. It binds the
// host selector, the session list, the endpoint boxes, the stream area, the
// two format selectors, the opacity slider, Resolve DNS, Copy and Close, and
// carries the name lookups out on worker threads.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "sessions/decode_logic.h"
#include "sessions/decode_view.h"

namespace Ui {
class DecodeDlg;
}
class QTextEdit;

class CDecodeDlg : public QDialog, public IDecodeView {
    Q_OBJECT

  public:
    // `packets` is the window's own copy of the store's references: the chains
    // stay alive while the window is open whatever happens to the store.
    // `preselect` is the packet whose host and session are shown first, -1 for
    // the first host's first session. `resolver` serves Resolve DNS; null
    // means the system resolver.
    CDecodeDlg(PacketSnapshot packets, int preselect, QWidget* parent = nullptr,
               std::shared_ptr<const IHostResolver> resolver = nullptr);
    ~CDecodeDlg() override;

    const CDecodeLogic& Logic() const { return *m_logic; }

    // IDecodeView.
    void InsertHostItem(int index, const std::string& text, int image, int selectedImage) override;
    void SetCurrentHost(int index) override;
    int CurrentHost() const override;
    void ClearSessionRows() override;
    void InsertSessionRow(int row, const std::string& text, int image) override;
    void SelectSessionRow(int row) override;
    void SetEndpointText(EndpointBox box, const std::string& text) override;
    void AppendEndpointRun(EndpointBox box, const StyledRun& run) override;
    void ClearStream() override;
    void AppendStreamRuns(const std::vector<StyledRun>& runs) override;
    void SetCaption(const std::string& caption) override;
    bool IsResolveDnsChecked() const override;
    void RepaintNow() override;
    void StartEndpointLookup(EndpointLookup lookup) override;

  public slots:
    void OnCopy();
    void OnTransparency();
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct LookupChannel;

    // Sizes the controls from their texts and the window from its controls.
    void SetUpLayout();
    // Sizes the window for its controls and makes that its smallest size.
    void SetFirstSize();
    void OnHostActivated();
    void OnSessionSelectionChanged();
    // Shows the selected image on the current host item and the plain one on
    // the others.
    void UpdateHostImages();
    QTextEdit* Box(EndpointBox box) const;

    std::unique_ptr<Ui::DecodeDlg> m_ui;
    // Per host item: its image and the image it shows while current.
    std::vector<std::pair<int, int>> m_hostImages;
    // The item that shows its selected image, -1 for none.
    int m_nShownCurrent = -1;
    // Shared with the lookup threads; cut when the window goes.
    std::shared_ptr<LookupChannel> m_channel;
    // The last stream append ended with a CR whose LF may open the next one.
    bool m_bStreamPendingCr = false;
    std::unique_ptr<CDecodeLogic> m_logic;
};

// The stream area's font: "Lucida Sans Unicode" at 15 px where it is
// installed, else a sans font that is.
QFont DecodeStreamFont();

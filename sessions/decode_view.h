// What the Decode window's logic needs from the window: its host selector,
// session list, two endpoint boxes, stream area, caption, Resolve DNS check
// box and an immediate repaint. The window implements it over its controls;
// tests fake it.
#pragma once

#include <string>
#include <vector>

#include "sessions/endpoint_lookup.h"
#include "sessions/styled_run.h"

enum class EndpointBox {
    Upper,  // the session's first side
    Lower,  // the session's second side
};

// Image indexes of the host selector and the session list.
inline constexpr int kHostImage = 0;
inline constexpr int kCurrentHostImage = 1;
inline constexpr int kSessionImage = 2;

class IDecodeView {
  public:
    virtual ~IDecodeView() = default;

    // Host selector. Making an item current from here is not a user's change
    // and must not come back as one.
    virtual void InsertHostItem(int index, const std::string& text, int image,
                                int selectedImage) = 0;
    // -1 leaves no item current.
    virtual void SetCurrentHost(int index) = 0;
    // -1 when no item is current.
    virtual int CurrentHost() const = 0;

    // Session list. A row selected from here is shown by the logic itself, so
    // the selection must not come back as a user's selection.
    virtual void ClearSessionRows() = 0;
    virtual void InsertSessionRow(int row, const std::string& text, int image) = 0;
    // Selects `row` and makes it the list's current row, without taking the
    // keyboard focus; the list has a single selection.
    virtual void SelectSessionRow(int row) = 0;

    // Endpoint boxes: replace the whole content with a plain text, or append a run.
    virtual void SetEndpointText(EndpointBox box, const std::string& text) = 0;
    virtual void AppendEndpointRun(EndpointBox box, const StyledRun& run) = 0;

    // Stream area: empty it, or append runs at its end in order.
    virtual void ClearStream() = 0;
    virtual void AppendStreamRuns(const std::vector<StyledRun>& runs) = 0;

    virtual void SetCaption(const std::string& caption) = 0;
    virtual bool IsResolveDnsChecked() const = 0;
    // Paints the window now, so that placeholders show while work blocks.
    virtual void RepaintNow() = 0;

    // Runs `lookup` away from the window's thread and hands each answer, in
    // the order Run delivers them, to CDecodeLogic::OnEndpointResolved on the
    // window's thread (or drops it once the window is gone).
    virtual void StartEndpointLookup(EndpointLookup lookup) = 0;
};

// The Filter editor's logic: turns the form's fields into one pcap filter
// expression, clause by clause in a fixed order, checks the fields, and runs the
// mode buttons and Clear All. The dialog owns one CFilterForm for as long as the
// main window lives, binds its controls through IFilterWindow and forwards its
// button handlers here.
//
// Two texts leave the form for the capture threads: the applied expression,
// which a capture compiles when it starts, and the "Data contains" text, which
// packet intake tests on every frame. Both are SharedText, so a capture started
// while the editor is open sees an old or a new text whole.
#pragma once

#include <cstddef>
#include <string>

#include "common/shared_text.h"
#include "filter/filter_fields.h"
#include "filter/filter_window.h"
#include "filter/neighbour_table.h"

class CFilterForm {
  public:
    // One formatted clause holds at most this many characters and its terminator.
    static constexpr size_t kClauseBufferSize = 512;

    explicit CFilterForm(IFilterWindow& window,
                         NeighbourTableSource neighbours = ReadSystemNeighbourTable);
    CFilterForm(const CFilterForm&) = delete;
    CFilterForm& operator=(const CFilterForm&) = delete;

    // Window initialisation: shows the saved values, "ANY" when no protocol was
    // ever chosen, with the Dest IP edit enabled as in any new window.
    void OnInitDialog();
    // Apply: saves the fields, builds the expression and, when the fields are
    // valid (and a gateway's MAC address is known), stores it and closes the
    // dialog. A rejected Apply keeps the expression applied before.
    void OnApplyFilter();
    // The mode buttons, called after the click has toggled the box.
    void OnTracking();
    void OnMonitoring();
    void OnClearAll();

    // 0 when every filled field is well-formed, -1 at the first one that is not.
    int ValidateFields() const;
    static bool IsDottedIPv4(const char* text);
    static bool IsDashedMac(const char* text);

    // The values of the last save (or of Clear All and the mode buttons).
    const FilterFields& Fields() const { return m_fields; }
    // The expression of the last accepted Apply; empty (no filter) before one.
    const SharedText& Filter() const { return m_strFilter; }
    // The "Data contains" text in effect for packet intake.
    const SharedText& DataContains() const { return m_strDataContains; }

  private:
    void SaveFields();
    void PublishDataContains();
    // Builds the expression for the saved fields into m_strPending. A filled
    // gateway takes `gatewayMac` as its MAC address.
    void BuildExpression(const std::string& gatewayMac);
    // Formats one clause with printf rules and appends it, after " and " unless
    // it is the first.
    void AppendClause(const char* format, ...) __attribute__((format(printf, 2, 3)));

    IFilterWindow& m_window;
    NeighbourTableSource m_neighbours;
    FilterFields m_fields;
    SharedText m_strFilter;
    SharedText m_strDataContains;
    std::string m_strPending;  // the expression being built by the current Apply
    bool m_bFirstClause = true;
};

// The "Filter editor" window: a thin Qt dialog over CFilterForm. The main
// window keeps one for its whole life and opens it modally with exec(); the
// form's fields, the applied expression and the "Data contains" text live as
// long as the dialog object, and the capture reads the last two while the
// window is closed.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "common/shared_text.h"
#include "filter/filter_builder.h"
#include "filter/filter_fields.h"
#include "filter/filter_window.h"
#include "filter/neighbour_table.h"

class QShowEvent;

namespace Ui {
class FilterDlg;
}

class CFilterDlg : public QDialog, public IFilterWindow {
    Q_OBJECT

  public:
    // `neighbours` gives the neighbour table in which a gateway's MAC address is
    // looked up at Apply.
    explicit CFilterDlg(QWidget* parent = nullptr,
                        NeighbourTableSource neighbours = ReadSystemNeighbourTable);
    ~CFilterDlg() override;

    // The expression of the last accepted Apply, for the next capture to compile.
    const SharedText& Filter() const { return m_form.Filter(); }
    // The payload text packet intake tests every frame against.
    const SharedText& DataContains() const { return m_form.DataContains(); }
    // The field values of the last save.
    const FilterFields& Fields() const { return m_form.Fields(); }

  protected:
    // Every opening runs the window initialisation, as a new window would.
    void showEvent(QShowEvent* event) override;

  private:
    // IFilterWindow: the data exchange, in the order the controls are bound.
    void SaveFields(FilterFields& fields) override;
    void LoadFields(const FilterFields& fields) override;
    void SetDestIPEnabled(bool enabled) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void EndDialog() override;

    void OnInitDialog();

    std::unique_ptr<Ui::FilterDlg> m_ui;
    CFilterForm m_form;
};

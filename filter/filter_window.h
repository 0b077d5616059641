// What the filter form needs from the Filter editor window: the data exchange
// and the few control states and messages the form drives. The dialog
// implements it; tests fake it.
#pragma once

#include <string>

#include "filter/filter_fields.h"

class IFilterWindow {
  public:
    virtual ~IFilterWindow() = default;

    // Save: copies every control's value into `fields`. No field is checked.
    virtual void SaveFields(FilterFields& fields) = 0;
    // Load: shows `fields` in the controls.
    virtual void LoadFields(const FilterFields& fields) = 0;
    // Enables or disables the "Dest IP" edit (1008).
    virtual void SetDestIPEnabled(bool enabled) = 0;
    // A modal message box with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // Closes the modal dialog.
    virtual void EndDialog() = 0;
};

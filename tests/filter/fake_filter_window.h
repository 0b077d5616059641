// A Filter editor window without a window: the controls are a FilterFields
// value, and messages and closes are recorded.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "filter/filter_window.h"

struct ShownMessage {
    std::string text;
    std::string caption;
    bool operator==(const ShownMessage&) const = default;
};

class FakeFilterWindow : public IFilterWindow {
  public:
    void SaveFields(FilterFields& fields) override { fields = controls; }
    void LoadFields(const FilterFields& fields) override { controls = fields; }
    void SetDestIPEnabled(bool enabled) override { destIPEnabled = enabled; }
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back({text, caption});
    }
    void EndDialog() override { ++closes; }

    FilterFields controls;  // what the user sees and types
    bool destIPEnabled = true;
    std::vector<ShownMessage> messages;
    int closes = 0;
};

// A Decode window without a window: keeps what the controls would show and a
// log of every call, in order.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sessions/decode_view.h"
#include "sessions/host_resolver.h"

class FakeDecodeView : public IDecodeView {
  public:
    struct Box {
        std::string plain;
        std::vector<StyledRun> runs;
    };

    void InsertHostItem(int index, const std::string& text, int image, int selectedImage) override {
        hosts.insert(hosts.begin() + index, text);
        Log("host " + std::to_string(index) + " " + text + " " + std::to_string(image) + "/" +
            std::to_string(selectedImage));
    }
    void SetCurrentHost(int index) override {
        currentHost = index >= 0 && index < static_cast<int>(hosts.size()) ? index : -1;
        Log("current host " + std::to_string(currentHost));
    }
    int CurrentHost() const override { return currentHost; }
    void ClearSessionRows() override {
        rows.clear();
        selectedRow = -1;
        Log("clear rows");
    }
    void InsertSessionRow(int row, const std::string& text, int image) override {
        rows.insert(rows.begin() + row, text);
        Log("row " + std::to_string(row) + " " + text + " " + std::to_string(image));
    }
    void SelectSessionRow(int row) override {
        selectedRow = row;
        Log("select " + std::to_string(row));
    }
    void SetEndpointText(EndpointBox box, const std::string& text) override {
        Of(box) = {text, {}};
        Log(Name(box) + "=" + text);
    }
    void AppendEndpointRun(EndpointBox box, const StyledRun& run) override {
        Of(box).runs.push_back(run);
        Log(Name(box) + "+" + run.text);
    }
    void ClearStream() override {
        stream.clear();
        Log("stream clear");
    }
    void AppendStreamRuns(const std::vector<StyledRun>& runs) override {
        stream.insert(stream.end(), runs.begin(), runs.end());
        Log("stream +" + std::to_string(runs.size()));
    }
    void SetCaption(const std::string& text) override {
        caption = text;
        Log("caption " + text);
    }
    bool IsResolveDnsChecked() const override { return resolveDns; }
    void RepaintNow() override { Log("repaint"); }
    void StartEndpointLookup(EndpointLookup lookup) override {
        Log("lookup " + lookup.first.address + " " + lookup.second.address);
        lookups.push_back(std::move(lookup));
    }

    // The text a box shows.
    std::string Text(EndpointBox box) const {
        const Box& b = box == EndpointBox::Upper ? upper : lower;
        std::string t = b.plain;
        for (const auto& r : b.runs) t += r.text;
        return t;
    }
    std::vector<std::string> TakeLog() { return std::exchange(log, {}); }

    std::vector<std::string> hosts;
    int currentHost = -1;
    std::vector<std::string> rows;
    int selectedRow = -1;
    Box upper, lower;
    std::vector<StyledRun> stream;
    std::string caption = "Decode mode";
    bool resolveDns = false;
    std::vector<EndpointLookup> lookups;
    std::vector<std::string> log;

  private:
    Box& Of(EndpointBox box) { return box == EndpointBox::Upper ? upper : lower; }
    static std::string Name(EndpointBox box) {
        return box == EndpointBox::Upper ? "upper" : "lower";
    }
    void Log(std::string entry) { log.push_back(std::move(entry)); }
};

// Answers from a fixed table; every other address has no name.
class FakeResolver : public IHostResolver {
  public:
    explicit FakeResolver(std::map<std::string, std::string> names) : m_names(std::move(names)) {}
    std::string ResolveHostName(std::string_view address) const override {
        ++calls;
        const auto it = m_names.find(std::string(address));
        return it == m_names.end() ? std::string() : it->second;
    }
    mutable int calls = 0;

  private:
    std::map<std::string, std::string> m_names;
};

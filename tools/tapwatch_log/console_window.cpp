#include "tools/tapwatch_log/console_window.h"

#include <utility>

#include "common/message_texts.h"

ConsoleWindow::ConsoleWindow(PacketStore& store, std::string prefix, std::FILE* messages)
    : m_store(store), m_prefix(std::move(prefix)), m_pMessages(messages) {}

void ConsoleWindow::RunOnWindowThread(std::function<void()> task) {
    m_queue.Post(std::move(task));
}

void ConsoleWindow::ResetInterfaceList() {
    m_entries.clear();
    m_nSelected = -1;
}

void ConsoleWindow::AddInterfaceEntry(const std::string&, const std::string& wholeText) {
    m_entries.push_back(wholeText);
}

void ConsoleWindow::ShowMessage(const std::string& text, const std::string& caption) {
    ++m_nMessages;
    if (caption == kErrorCaption) ++m_nErrors;
    if (m_pMessages == nullptr) return;
    std::fprintf(m_pMessages, "%s: %s\n", m_prefix.c_str(), text.c_str());
    std::fflush(m_pMessages);
}

// Sets LC_ALL for one test and puts the previous locale back.
#pragma once

#include <clocale>
#include <string>

class LocaleScope {
  public:
    explicit LocaleScope(const char* name) {
        const char* previous = std::setlocale(LC_ALL, nullptr);
        m_previous = previous != nullptr ? previous : "C";
        m_ok = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_ALL, m_previous.c_str()); }
    bool ok() const { return m_ok; }

  private:
    std::string m_previous;
    bool m_ok = false;
};

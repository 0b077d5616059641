// The display filter bar above the packet list: an expression with the few
// last applied ones a click away, applied by Enter, cleared (and applied so)
// by its clear button. An expression libpcap refuses turns the bar red with
// libpcap's message under it. Enter and Escape stay in the bar: the window
// would take them as its own (Escape closes it).
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;

class FilterBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kHistory = 10;

    explicit FilterBar(QWidget* parent = nullptr);

    QLineEdit* Edit() const;
    QString Text() const;
    void SetText(const QString& text);
    // `message` empty: the expression applied, remembered in the history.
    // Otherwise the bar turns red and shows it.
    void ShowResult(const QString& expression, const QString& message);
    bool Failed() const { return m_bFailed; }

  signals:
    void applyRequested(const QString& expression);
    // Escape: the edit gives back the expression applied; the window takes
    // the keyboard back.
    void leaveRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QComboBox* m_combo = nullptr;
    QLabel* m_message = nullptr;
    QString m_applied;
    bool m_bFailed = false;
};

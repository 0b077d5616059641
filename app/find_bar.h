// The find bar under the packet list (Ctrl+F): a text, matched with or
// without case, or hexadecimal bytes, looked for in the whole frame of the
// rows shown. Enter finds the next match and Escape closes the bar; neither
// reaches the window.
#pragma once

#include <QWidget>
#include <optional>

#include "view/frame_find.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

class FindBar : public QWidget {
    Q_OBJECT
  public:
    explicit FindBar(QWidget* parent = nullptr);

    QLineEdit* Edit() const { return m_edit; }
    // The pattern typed; nothing when it is empty or not hexadecimal bytes
    // in the bytes mode (`problem` then says which).
    std::optional<FindPattern> Pattern(QString& problem) const;
    // What is looked for, as the messages quote it.
    QString Shown() const;
    // Shows the bar with the keyboard in its edit.
    void Open();

  signals:
    void findRequested(bool forward);
    void closeRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* m_edit = nullptr;
    QComboBox* m_mode = nullptr;
    QCheckBox* m_case = nullptr;
};

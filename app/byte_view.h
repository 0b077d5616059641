// The byte view under the Details tree: the kept bytes of the packet the tree
// shows, as offset, hexadecimal and text (see ByteDump), monospace, read-only
// and selectable. The bytes of the field or layer selected in the tree are
// highlighted.
#pragma once

#include <QPlainTextEdit>

#include "app/byte_dump.h"
#include "intake/packet_store.h"

class QTreeWidget;

class CByteView : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CByteView(QWidget* parent = nullptr);

    // Shows the kept bytes of `packet`, nothing highlighted; nothing for a
    // packet without its frame.
    void ShowFrame(const StoredPacket& packet);
    void Clear();
    // Highlights bytes [offset, offset + length) of the frame shown and
    // scrolls them into sight; a zero length highlights nothing.
    void Highlight(uint32_t offset, uint32_t length);
    // From now on highlights the bytes of the item selected in `tree`.
    void FollowTree(const QTreeWidget* tree);

    QSize sizeHint() const override;

  private:
    ByteDump m_dump;
};

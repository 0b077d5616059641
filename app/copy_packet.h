// Copy: shows one packet's clipboard text in a box captioned "mmmmok" and puts
// it on the clipboard once the box is closed.
#pragma once

#include <QString>

class CProtocolLayer;
class QWidget;

// A modal box that fits on the screen whatever the text's length: the text is
// wrapped anywhere and scrolls; only an OK button.
void ShowPacketText(QWidget* parent, const QString& text);

void CopyPacketToClipboard(QWidget* parent, const CProtocolLayer* root);

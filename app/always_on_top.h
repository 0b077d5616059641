// Keeping a window above the others, without moving or resizing it.
#pragma once

class QWidget;

void SetAlwaysOnTop(QWidget* window, bool onTop);

// Save XML, the window side: asking for the log's path, and writing the log on
// a worker thread while a modal progress dialog follows it and can cancel it.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "intake/packet_store.h"
#include "xml/capture_log.h"

class QWidget;

// Asks for the path of the log; empty when the user cancels.
using LogFileChooser = std::function<QString(QWidget* parent)>;

// The save-file dialog: proposes "snifflog.xml", filters on *.xml and asks
// before overwriting an existing file.
QString AskLogFile(QWidget* parent);

// Writes the log of `packets` (a copy of the store's references, so emptying
// the store meanwhile frees nothing the worker reads) and returns
// SaveCaptureLog's result. The window thread keeps running its event loop
// under the modal progress dialog; it never waits for the worker.
int SaveLogWithProgress(QWidget* parent, const std::string& path,
                        std::vector<StoredPacket> packets);

// Runs `save` (a SaveCaptureLog or SaveCapturePcap of `total` packets) on a
// worker under that modal progress dialog, titled `title`; its result.
int RunSaveWithProgress(QWidget* parent, const QString& title, size_t total,
                        const std::function<int(SaveControl* control)>& save);

// Capture files, the window side: the file dialogs of Open and Save, and the
// pcap save on a worker under the progress dialog that Save XML uses.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "intake/packet_store.h"

class QWidget;

// Asks for a path; empty when the user cancels.
using CaptureFileChooser = std::function<QString(QWidget* parent)>;

// The open-file dialog, for pcap and pcapng files.
QString AskCaptureFile(QWidget* parent);
// The save-file dialog: proposes "capture.pcap" and asks before overwriting;
// titled "Save" unless `title` says otherwise.
QString AskPcapFile(QWidget* parent, const QString& title = {});

// SaveCapturePcap of `packets` (the store's references, copied; frames of
// `linkType`) on a worker under a modal progress dialog that can cancel it;
// its result.
int SavePcapWithProgress(QWidget* parent, const std::string& path,
                         std::vector<StoredPacket> packets, int linkType);

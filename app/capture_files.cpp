#include "app/capture_files.h"

#include <QFileDialog>

#include "app/save_xml.h"
#include "capture_files/pcap_save.h"

QString AskCaptureFile(QWidget* parent) {
    return QFileDialog::getOpenFileName(
        parent, QStringLiteral("Open"), QString(),
        QStringLiteral("Capture files (*.pcap *.pcapng *.cap);;All files (*)"));
}

QString AskPcapFile(QWidget* parent, const QString& title) {
    // The overwrite question is the dialog's default.
    return QFileDialog::getSaveFileName(parent, title.isEmpty() ? QStringLiteral("Save") : title,
                                        QStringLiteral("capture.pcap"),
                                        QStringLiteral("Capture file (*.pcap);;All files (*)"));
}

int SavePcapWithProgress(QWidget* parent, const std::string& path,
                         std::vector<StoredPacket> packets, int linkType) {
    return RunSaveWithProgress(
        parent, QStringLiteral("Save"), packets.size(),
        [&](SaveControl* control) { return SaveCapturePcap(path, packets, linkType, control); });
}

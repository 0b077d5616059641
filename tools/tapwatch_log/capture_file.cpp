#include "tools/tapwatch_log/capture_file.h"

#include "capture/capture_state.h"
#include "capture_files/capture_file_reader.h"
#include "intake/packet_intake.h"

std::string CaptureFileError(const std::string& path, const CaptureFileResult& result) {
    switch (result.end) {
        case CaptureFileEnd::Finished:
        case CaptureFileEnd::Stopped:
        case CaptureFileEnd::MemoryFull:
            return {};
        case CaptureFileEnd::CutShort:
            return "The capture " + (path == "-" ? std::string("on standard input") : path) +
                   " is cut short after " + std::to_string(result.framesRead) +
                   " packets: " + result.detail;
        case CaptureFileEnd::CannotOpen:
            return "Couldn't read the capture file " + path +
                   (result.detail.empty() ? std::string() : ": " + result.detail);
        case CaptureFileEnd::NotEthernet:
            return result.detail;
        case CaptureFileEnd::FilterFailed:
            return FilterFailedMessage(result.detail);
    }
    return {};
}

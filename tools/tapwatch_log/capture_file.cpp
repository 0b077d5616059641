#include "tools/tapwatch_log/capture_file.h"

#include "capture/capture_file_reader.h"
#include "capture/capture_state.h"
#include "capture/packet_intake.h"

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
            return kNotEthernetCaptureMessage;
        case CaptureFileEnd::FilterFailed:
            return StartFailureMessage(StartFailure::CompileFilter);
    }
    return {};
}

FileReadResult ReadCaptureFile(const std::string& path, const std::string& filter,
                               const SharedText& dataContains, PacketStore& store) {
    PacketIntake intake(store, dataContains);
    CaptureFileReader reader;
    const CaptureFileResult result = reader.Read(path, filter, intake);
    const std::string error = CaptureFileError(path, result);
    return {error.empty(), error};
}

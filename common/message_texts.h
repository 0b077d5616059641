// The message boxes' captions, and the message texts that more than one
// command shows: each is written here once.
#pragma once

// Captions: failures, refused commands, a save done, a feature the platform
// does not offer.
inline constexpr char kErrorCaption[] = "Error";
inline constexpr char kWarningCaption[] = "Warning";
inline constexpr char kSuccessCaption[] = "Success";
inline constexpr char kFailedCaption[] = "Failed";

inline constexpr char kStopFirstMessage[] = "Stop the capture first";
inline constexpr char kNoPacketMessage[] = "No packet to save";

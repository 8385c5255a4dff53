#pragma once
// What the picture itself tells the user besides the on-screen display: a short white flash
// around the live cell when a snapshot is taken, a banner naming the channel and kind of the
// alarm being indicated, a "PAUSED" label while live view is paused, and the monitor panel's
// text while no picture can show (no receiver, unplugged, reconnecting). None of it is burned
// into recorded files or snapshots. Message-loop thread.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/status_board.h"
#include "ui/canvas.h"

namespace vidora {

inline constexpr const char* kNoReceiverPanelText = "No receiver connected. Plug in the receiver.";
inline constexpr const char* kUnpluggedPanelText = "Receiver unplugged";
inline constexpr const char* kReconnectingPanelText = "Reconnecting...";
inline constexpr const char* kPausedLabel = "PAUSED";

// The monitor panel's text while live view is neither on nor paused; empty: plain black.
std::string idlePanelText(ReceiverLink link);
// "ALARM: motion on CH2"; empty without an alarm.
std::string alarmBannerText(const std::optional<AlarmRecord>& alarm);

struct PictureFeedback {
    bool flash = false;       // a snapshot was taken a moment ago
    std::string alarmBanner;  // empty: none
    bool paused = false;
};

// What shows over the live cell now: the flash for kSnapshotFlashMs after the latest snapshot,
// the banner while the alarm is indicated, the label while paused.
PictureFeedback pictureFeedbackNow(uint32_t tick);

inline constexpr Rgb kFlashColour{255, 255, 255};
inline constexpr Rgb kBannerColour{0xc6, 0x28, 0x28};
inline constexpr Rgb kPausedBoxColour{0x1d, 0x21, 0x28};
inline constexpr int kFlashBorder = 6;

void paintPictureFeedback(Canvas& canvas, const Rect& cell, const PictureFeedback& feedback);
void paintIdlePanel(Canvas& canvas, const std::string& text);

}  // namespace vidora

#pragma once
// The on-screen display of one cell of the video area: which texts are laid over it, where and in
// which colours. Plain functions of their inputs, free of any drawing library: the monitor panel
// draws the list it gets back (each text first as its shadow one pixel right and down, then the
// text itself). Called on the GUI thread while the video area paints.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/layout.h"
#include "platform/system_time.h"

namespace vidora {

struct OsdColour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const OsdColour&, const OsdColour&) = default;
};

// The shadow of a cell text is the bitwise complement of its colour.
inline constexpr OsdColour complementOf(OsdColour c) {
    return {static_cast<uint8_t>(255 - c.r), static_cast<uint8_t>(255 - c.g),
            static_cast<uint8_t>(255 - c.b)};
}

inline constexpr OsdColour kLiveTextColour{223, 223, 223};  // the live channel's cell
inline constexpr OsdColour kFrozenTextColour{64, 255, 64};  // frozen cells
inline constexpr OsdColour kRecTextColour{255, 255, 0};
inline constexpr OsdColour kRecShadowColour{0, 0, 255};
// While the recording is not being written: "REC !" in orange, steady instead of blinking.
inline constexpr const char* kRecNotWrittenText = "REC !";
inline constexpr OsdColour kRecNotWrittenTextColour{255, 112, 0};
inline constexpr OsdColour kRecNotWrittenShadowColour{0, 0, 0};
inline constexpr OsdColour kAlarmTextColour{255, 0, 0};
inline constexpr OsdColour kAlarmShadowColour{0, 255, 255};

// One text of the overlay: top-left corner (x, y) in the video area's client coordinates.
struct OverlayText {
    std::string text;
    int x = 0;
    int y = 0;
    OsdColour colour;
    OsdColour shadow;
    friend bool operator==(const OverlayText&, const OverlayText&) = default;
};

struct TextSize {
    int width = 0;
    int height = 0;
};
// The extent of a text in the font the overlay is drawn with.
using TextExtentFn = std::function<TextSize(std::string_view)>;

// What decides the overlay of one cell.
struct CellOverlayInput {
    VideoRect cell;
    int channel = 0;           // 0..3
    bool current = false;      // the live channel's cell
    bool liveRunning = false;  // live view on and not paused
    bool recording = false;
    bool recordingStalled = false;  // recording runs but nothing is being written
    uint32_t tick = 0;              // tick count now: blinking and the alarm window
    uint32_t lastAlarmTick = 0;
    // The cell's time: the picture's time for the live cell, the moment of freezing otherwise.
    // A cell that was never frozen has no time (all zero) and shows none.
    SystemTime time{};
    bool showDate = false;
    bool showTime = false;
    bool showChannelName = false;
    std::string_view channelName;  // the configured name of the channel
};

// The texts of one cell in drawing order: "REC" (or "REC !"), "ALARM", the label "CH%d", the
// channel name, the date and time.
std::vector<OverlayText> overlayTexts(const CellOverlayInput& input, const TextExtentFn& extent);

// Blinking marks show during the first half of every second.
inline constexpr bool blinkVisible(uint32_t tick) {
    return tick % 1000 < 500;
}

// "CH1" .. "CH4" for channels 0 .. 3.
std::string channelLabel(int channel);
// "%04hd/%02hd/%02hd %02hd:%02hd:%02hd", "%04hd/%02hd/%02hd" and "%02hd:%02hd:%02hd".
std::string formatDateTime(const SystemTime& t);
std::string formatDate(const SystemTime& t);
std::string formatTime(const SystemTime& t);

inline bool isUnsetTime(const SystemTime& t) {
    return t.year == 0 && t.month == 0 && t.day == 0 && t.hour == 0 && t.minute == 0 &&
           t.second == 0;
}

}  // namespace vidora

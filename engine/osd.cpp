#include "engine/osd.h"

#include <cstdio>

#include "engine/alarm.h"

namespace vidora {

namespace {

// The fields are printed as signed 16-bit numbers, as the stamp in the recorded pictures prints
// them (osd_stamp): the live display and the recordings show the same text for any time.
short asShort(uint16_t v) {
    return static_cast<short>(v);
}

}  // namespace

std::string channelLabel(int channel) {
    char text[16];
    std::snprintf(text, sizeof text, "CH%d", channel + 1);
    return text;
}

std::string formatDateTime(const SystemTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04hd/%02hd/%02hd %02hd:%02hd:%02hd", asShort(t.year),
                  asShort(t.month), asShort(t.day), asShort(t.hour), asShort(t.minute),
                  asShort(t.second));
    return text;
}

std::string formatDate(const SystemTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04hd/%02hd/%02hd", asShort(t.year), asShort(t.month),
                  asShort(t.day));
    return text;
}

std::string formatTime(const SystemTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02hd:%02hd:%02hd", asShort(t.hour), asShort(t.minute),
                  asShort(t.second));
    return text;
}

std::vector<OverlayText> overlayTexts(const CellOverlayInput& in, const TextExtentFn& extent) {
    std::vector<OverlayText> texts;
    const VideoRect& r = in.cell;
    const OsdColour colour = in.current ? kLiveTextColour : kFrozenTextColour;
    const OsdColour shadow = complementOf(colour);
    const int ax = r.x + r.width - 60;
    const int ay = r.y + 10;
    const bool blink = blinkVisible(in.tick);

    if (in.current && in.recording && in.recordingStalled) {
        // Shown at every moment, so a glance tells that nothing is being written; it ends where
        // "REC" ends, clear of the channel label.
        int x = ax - 35;
        if (extent)
            x -= extent(kRecNotWrittenText).width - extent("REC").width;
        texts.push_back(
            {kRecNotWrittenText, x, ay, kRecNotWrittenTextColour, kRecNotWrittenShadowColour});
    } else if (in.current && in.recording && blink) {
        texts.push_back({"REC", ax - 35, ay, kRecTextColour, kRecShadowColour});
    }
    // A paused picture raises no alarm: the mark belongs to pictures that arrive.
    if (in.current && in.liveRunning && alarmIndicated(in.lastAlarmTick, in.tick) && blink)
        texts.push_back({"ALARM", ax - 90, ay, kAlarmTextColour, kAlarmShadowColour});

    if (in.showChannelName) {
        const std::string label = channelLabel(in.channel);
        texts.push_back({label, ax, ay, colour, shadow});
        if (!in.channelName.empty() && in.channelName != label) {
            const TextSize size = extent ? extent(in.channelName) : TextSize{};
            texts.push_back({std::string(in.channelName), r.x + r.width - size.width - 25,
                             r.y + size.height + 15, colour, shadow});
        }
    }

    if (isUnsetTime(in.time))
        return texts;
    const int dateY = r.y + r.height - 25;
    if (in.showDate && in.showTime)
        texts.push_back({formatDateTime(in.time), r.x + r.width - 150, dateY, colour, shadow});
    else if (in.showDate)
        texts.push_back({formatDate(in.time), r.x + r.width - 90, dateY, colour, shadow});
    else if (in.showTime)
        texts.push_back({formatTime(in.time), r.x + r.width - 90, dateY, colour, shadow});
    return texts;
}

}  // namespace vidora

#include "ui/picture_feedback.h"

#include <algorithm>

#include "app/settings.h"
#include "engine/alarm.h"
#include "platform/relaxed.h"
#include "ui/status_band.h"

namespace vidora {

namespace {

TextFont feedbackFont(int pixelSize) {
    return {"DejaVu Sans", pixelSize, true, true};
}

// A box with the text centred in it, its top-left corner at (x, y).
void labelBox(Canvas& canvas, int x, int y, const std::string& text, Rgb box, Rgb ink, int pad) {
    const Size size = canvas.textExtent(text);
    canvas.fillRect({x, y, x + size.width + 2 * pad, y + size.height + pad}, box);
    canvas.drawText(x + pad, y + pad / 2, text, ink);
}

}  // namespace

std::string idlePanelText(ReceiverLink link) {
    switch (link) {
        case ReceiverLink::NotFound:
            return kNoReceiverPanelText;
        case ReceiverLink::Unplugged:
            return kUnpluggedPanelText;
        case ReceiverLink::Reconnecting:
            return kReconnectingPanelText;
        case ReceiverLink::Searching:
        case ReceiverLink::Connected:
            break;
    }
    return {};
}

std::string alarmBannerText(const std::optional<AlarmRecord>& alarm) {
    if (!alarm)
        return {};
    return std::string("ALARM: ") + (alarm->kind == AlarmKind::Motion ? "motion" : "sound") +
           " on CH" + std::to_string(std::clamp(alarm->channel, 0, 3) + 1);
}

PictureFeedback pictureFeedbackNow(uint32_t tick) {
    PictureFeedback f;
    const StatusBoard& board = statusBoard();
    const SnapshotRecord snapshot = board.lastSnapshot();
    f.flash = snapshot.sequence != 0 && tick - snapshot.tick < kSnapshotFlashMs;
    if (alarmIndicated(loadRelaxed(gState.lastAlarmTick), tick))
        f.alarmBanner = alarmBannerText(board.lastAlarm());
    f.paused = loadRelaxed(gState.livePaused) != 0;
    return f;
}

void paintPictureFeedback(Canvas& canvas, const Rect& cell, const PictureFeedback& feedback) {
    if (cell.empty())
        return;
    if (feedback.flash) {
        const int b = std::min({kFlashBorder, cell.width() / 2, cell.height() / 2});
        canvas.fillRect({cell.left, cell.top, cell.right, cell.top + b}, kFlashColour);
        canvas.fillRect({cell.left, cell.bottom - b, cell.right, cell.bottom}, kFlashColour);
        canvas.fillRect({cell.left, cell.top, cell.left + b, cell.bottom}, kFlashColour);
        canvas.fillRect({cell.right - b, cell.top, cell.right, cell.bottom}, kFlashColour);
    }
    // Larger cells get larger labels, so they read from a distance in full screen.
    const int size = std::clamp(cell.height() / 24, 13, 40);
    if (!feedback.alarmBanner.empty()) {
        canvas.setFont(feedbackFont(size));
        labelBox(canvas, cell.left + 10, cell.top + 10, feedback.alarmBanner, kBannerColour,
                 {255, 255, 255}, size / 2);
    }
    if (feedback.paused) {
        canvas.setFont(feedbackFont(size + size / 2));
        const Size text = canvas.textExtent(kPausedLabel);
        const int pad = size / 2;
        labelBox(canvas, cell.left + (cell.width() - text.width) / 2 - pad,
                 cell.top + (cell.height() - text.height) / 2 - pad / 2, kPausedLabel,
                 kPausedBoxColour, {0xf2, 0xf4, 0xf7}, pad);
    }
}

void paintIdlePanel(Canvas& canvas, const std::string& text) {
    if (text.empty())
        return;
    const Size area = canvas.size();
    canvas.setFont(feedbackFont(std::clamp(area.height / 26, 13, 28)));
    const auto width = [&canvas](std::string_view t) { return canvas.textExtent(t).width; };
    const std::string shown = elideText(text, area.width - 20, width);
    const Size size = canvas.textExtent(shown);
    canvas.drawText((area.width - size.width) / 2, (area.height - size.height) / 2, shown,
                    {0xc8, 0xcd, 0xd6});
}

}  // namespace vidora

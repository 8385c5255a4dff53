#include "app/message_box.h"
#include "app/message_poster.h"
#include "engine/capture_engine.h"
#include "engine/schedule/schedule_actions.h"
#include "engine/timer_state.h"
#include "platform/relaxed.h"

namespace vidora {

namespace {

class EngineScheduleActions final : public ScheduleActions {
  public:
    void switchChannel(int channel) override {
        if (CaptureEngine* engine = CaptureEngine::instance())
            engine->switchChannel(channel);
    }
    void holdingChannel(const std::function<void()>& work) override {
        if (CaptureEngine* engine = CaptureEngine::instance())
            engine->holdingChannel(work);
        else
            work();
    }
    bool startRecording() override {
        CaptureEngine* engine = CaptureEngine::instance();
        // The record timer starts a recording for a due alarm, otherwise for its task.
        const CaptureReason reason =
            loadRelaxed(gTimer.alarmRecordLeftMs) > 0 ? CaptureReason::Alarm : CaptureReason::Task;
        return engine && engine->startRecording(reason) == 0;
    }
    void stopRecording() override {
        if (CaptureEngine* engine = CaptureEngine::instance())
            engine->stopRecording();
    }
    bool recording() override {
        CaptureEngine* engine = CaptureEngine::instance();
        return engine && engine->recording();
    }
    bool recordingEndedAtLimit() override {
        CaptureEngine* engine = CaptureEngine::instance();
        return engine && engine->recording() && engine->recordingPort().recordingEndedAtLimit();
    }
    PictureWriteResult takeSnapshot() override {
        if (CaptureEngine* engine = CaptureEngine::instance())
            return engine->takeSnapshot(loadRelaxed(gTimer.alarmCaptureLeftMs) > 0
                                            ? CaptureReason::Alarm
                                            : CaptureReason::Task);
        return {};
    }
    void showMessage(const std::string& text, const std::string& caption, uint32_t type) override {
        userMessageBox(text, caption, type);
    }
    void postMessage(const MessageBoxRequest& box) override { poster_.post(box); }

  private:
    MessagePoster poster_;
};

}  // namespace

std::unique_ptr<ScheduleActions> engineScheduleActions() {
    return std::make_unique<EngineScheduleActions>();
}

}  // namespace vidora

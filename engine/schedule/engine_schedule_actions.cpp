#include "app/message_box.h"
#include "app/message_poster.h"
#include "engine/capture_engine.h"
#include "engine/schedule/schedule_actions.h"

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
        return engine && engine->startRecording() == 0;
    }
    bool startAlarmRecording() override {
        CaptureEngine* engine = CaptureEngine::instance();
        return engine && engine->startRecording(RecordingCause::Alarm) == 0;
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
            return engine->takeSnapshot();
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

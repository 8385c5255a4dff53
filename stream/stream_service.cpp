#include "stream/stream_service.h"

#include "platform/log/log.h"

namespace vidora {

StreamService::StreamService(Preferences& prefs, VideoTransfer& video, AudioTransfer& audio,
                             PictureStamp& stamp)
    : prefs_(prefs), video_(video), audio_(audio), server_(handOver_) {
    server_.setPictureStamp(stamp);
    video_.setLiveFeed(&handOver_);
    audio_.setLiveFeed(&handOver_);
    listener_ = prefs_.addListener([this] { apply(); });
}

StreamService::~StreamService() {
    prefs_.removeListener(listener_);
    // The transfers stop calling the hand-over before it goes.
    video_.setLiveFeed(nullptr);
    audio_.setLiveFeed(nullptr);
    server_.stop();
}

std::string StreamService::apply() {
    const StreamSettings wanted = readStreamSettings(prefs_);
    if (!wanted.enabled) {
        server_.stop();
        applied_ = wanted;
        return {};
    }
    if (server_.running() && wanted == applied_)
        return {};
    applied_ = wanted;
    std::string problem = server_.start(wanted);
    if (!problem.empty())
        qCWarning(log::media) << "network stream not started:" << problem.c_str();
    return problem;
}

std::string StreamService::address() const {
    if (!server_.running())
        return {};
    StreamSettings shown = applied_;
    shown.port = server_.boundPort();
    return streamAddress(shown, thisHostName());
}

}  // namespace vidora

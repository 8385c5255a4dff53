#include "tests/engine/fakes.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace vidora::test {

FakeGraph::FakeGraph(std::shared_ptr<FakeReceiver> receiver) : r_(std::move(receiver)) {
    std::lock_guard lock(r_->mutex);
    ++r_->graphsCreated;
    ++r_->graphsAlive;
}

FakeGraph::~FakeGraph() {
    std::lock_guard lock(r_->mutex);
    --r_->graphsAlive;
    r_->state = "none";
    r_->video = nullptr;
    r_->audio = nullptr;
}

std::string FakeGraph::offeredFormats() const {
    std::lock_guard lock(r_->mutex);
    return r_->offeredFormats;
}

media::BuildResult FakeGraph::build(const media::DeviceInfo&, media::VideoStandard standard,
                                    media::VideoTransferSink* video,
                                    media::AudioTransferSink* audio) {
    media::VideoFormat format;
    media::BuildResult result;
    {
        std::lock_guard lock(r_->mutex);
        r_->lastStandard = static_cast<int>(standard);
        result = r_->buildResult;
        if (result != media::BuildResult::Ok)
            return result;
        r_->state = "built";
        r_->video = video;
        r_->audio = audio;
        format = r_->videoFormat;
        if (standard == media::VideoStandard::Ntsc)
            format.height = 480;
    }
    video->acceptVideoFormat(format);
    audio->acceptAudioFormat({8000, 16, 2, 32000});
    return result;
}

bool FakeGraph::run() {
    std::lock_guard lock(r_->mutex);
    if (r_->runFails)
        return false;
    r_->state = "running";
    return true;
}

bool FakeGraph::pause() {
    std::lock_guard lock(r_->mutex);
    r_->state = "paused";
    return true;
}

void FakeGraph::stop() {
    std::lock_guard lock(r_->mutex);
    r_->state = "stopped";
}

void FakeGraph::setVolume(int32_t hundredthsOfDb) {
    std::lock_guard lock(r_->mutex);
    r_->volumes.push_back(hundredthsOfDb);
}

bool FakeGraph::readAdjustments(media::AdjustTable& table) {
    std::lock_guard lock(r_->mutex);
    if (!r_->hasAdjustments)
        return false;
    for (int k = 0; k < media::kAdjustPropertyCount; ++k) {
        table[k] = {-100 * (k + 1), 100 * (k + 1), 1, 10 * (k + 1), 0};
    }
    return true;
}

bool FakeGraph::setAdjustment(media::AdjustmentKind kind, int32_t value) {
    std::lock_guard lock(r_->mutex);
    r_->adjustments.emplace_back(static_cast<int>(kind), value);
    return r_->hasAdjustments;
}

void FakeGraph::setEventNotify(std::function<void()> notify) {
    std::lock_guard lock(r_->mutex);
    r_->eventNotifySet = static_cast<bool>(notify);
}

bool FakeGraph::nextEvent(media::GraphEvent& event) {
    std::lock_guard lock(r_->mutex);
    if (r_->events.empty())
        return false;
    event = r_->events.front();
    r_->events.pop_front();
    return true;
}

int32_t FakeGraph::vendorCmdRW(uint8_t* data, int32_t* length) {
    std::lock_guard lock(r_->mutex);
    Block b{};
    std::memcpy(b.data(), data, 8);
    r_->commands.push_back(b);
    if (*length != 8)
        return -1;
    if (r_->vendorThrows)
        throw std::runtime_error("receiver request failed");
    if (r_->vendorResult != 0)
        return r_->vendorResult;
    if (data[0] == 0xC0)
        data[0] = r_->status;
    return 0;
}

std::optional<std::vector<media::DeviceInfo>> FakeBackend::enumerateVideoInputs() {
    std::lock_guard lock(r_->mutex);
    if (r_->enumerationFails)
        return std::nullopt;
    return r_->devices;
}

std::unique_ptr<media::CaptureGraph> FakeBackend::createGraph() {
    {
        std::lock_guard lock(r_->mutex);
        if (r_->graphCreateFails)
            return nullptr;
    }
    return std::make_unique<FakeGraph>(r_);
}

void FakeBackend::setArrivalNotify(std::function<void()> notify) {
    std::lock_guard lock(r_->mutex);
    r_->arrivalNotify = std::move(notify);
}

bool FakeSoundPlayer::playLoop(const std::string& wavPath) {
    std::lock_guard lock(log_->mutex);
    ++log_->plays;
    log_->lastPath = wavPath;
    log_->playing = true;
    return true;
}

void FakeSoundPlayer::stopAll() {
    std::lock_guard lock(log_->mutex);
    ++log_->stops;
    log_->playing = false;
}

bool FakeSoundPlayer::playing() const {
    std::lock_guard lock(log_->mutex);
    return log_->playing;
}

void FakeVideoWindow::presentLivePicture(const LivePicture& picture) {
    std::lock_guard lock(mutex);
    last = picture;
    last.data = nullptr;
    pictures.fetch_add(1);
}

void SpyRecordingPort::setVideoFormat(const StreamFormat& format, int sizeMode) {
    std::lock_guard lock(log_->mutex);
    log_->videoFormats.emplace_back(format, sizeMode);
}

void SpyRecordingPort::setAudioFormat(const StreamFormat& format) {
    std::lock_guard lock(log_->mutex);
    log_->audioFormats.push_back(format);
}

void SpyRecordingPort::onPicture(const uint8_t* data, std::size_t length) {
    {
        std::lock_guard lock(log_->mutex);
        if (log_->keepNextPicture) {
            log_->keptPicture.assign(data, data + length);
            log_->keepNextPicture = false;
        }
    }
    log_->lastPictureLength = length;
    log_->pictures.fetch_add(1);
}

void SpyRecordingPort::onSound(const uint8_t* data, std::size_t length) {
    {
        std::lock_guard lock(log_->mutex);
        log_->lastSound.assign(data, data + length);
    }
    log_->soundBytes.fetch_add(length);
    log_->soundBlocks.fetch_add(1);
}

void SpyRecordingPort::setWriterSettings(const std::string& folder, uint64_t maxFileBytes) {
    std::lock_guard lock(log_->mutex);
    log_->folder = folder;
    log_->maxFileBytes = maxFileBytes;
    log_->calls.push_back("writer");
}

Result SpyRecordingPort::startRecording() {
    add("start");
    std::lock_guard lock(log_->mutex);
    return log_->startResult;
}

PictureWriteResult SpyRecordingPort::takeSnapshot(StoredPictureSource& source) {
    add("snapshot");
    lastSnapshot = source.makeStoredPicture(1);
    PictureWriteResult taken;
    taken.ok = true;
    taken.path = "./SNAPSHOT/spy.jpg";
    return taken;
}

std::vector<uint8_t> RecordingLog::nextPicture(int limitMs) {
    {
        std::lock_guard lock(mutex);
        keepNextPicture = true;
        keptPicture.clear();
    }
    waitFor(
        [this] {
            std::lock_guard lock(mutex);
            return !keepNextPicture;
        },
        limitMs);
    std::lock_guard lock(mutex);
    keepNextPicture = false;
    return keptPicture;
}

std::vector<uint8_t> patternPicture(int width, int height, uint8_t seed) {
    std::vector<uint8_t> data(static_cast<std::size_t>(width) * height * 2);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>((i * 7 + seed * 13 + (i >> 9)) & 0xFF);
    }
    return data;
}

bool waitFor(const std::function<bool()>& pred, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

}  // namespace vidora::test

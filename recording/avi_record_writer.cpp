#include "recording/avi_record_writer.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "app/message_box.h"
#include "app/settings.h"
#include "app/storage.h"
#include "platform/le_bytes.h"
#include "platform/log/log.h"
#include "platform/relaxed.h"
#include "recording/disk_faults.h"

namespace vidora {

namespace {

constexpr uint64_t kMiB = 1048576;

uint64_t recordLimitBytes() {
    return uint64_t{loadRelaxed(gConfig.recordLimitMB)} * kMiB;
}

// The folder as the user is told it: absolute, without a trailing separator.
std::string shownFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(folder.empty() ? "." : folder, ec);
    if (ec)
        return folder;
    std::string shown = path.lexically_normal().string();
    while (shown.size() > 1 && shown.back() == '/')
        shown.pop_back();
    return shown;
}

}  // namespace

AviRecordWriter::AviRecordWriter(const std::string& folder, Clock& clock, uint64_t aviCutBytes,
                                 DiskFaults* faults)
    : clock_(clock),
      aviCutBytes_(aviCutBytes),
      folder_(nativeFolderPath(folder.c_str())),
      faults_(faults),
      file_(AviFile::kMaxFileBytes, faults) {}

AviRecordWriter::~AviRecordWriter() {
    std::lock_guard lock(stateLock_);
    stopLocked();
    discardQueue();
}

// --- consumer side -------------------------------------------------------------------------

void AviRecordWriter::takeFormats(const StreamFormat* formats, int count) {
    std::lock_guard stateLock(stateLock_);
    {
        std::lock_guard queueLock(queueLock_);
        for (int i = 0; i < count; ++i) {
            const StreamFormat& f = formats[i];
            if (!f.present)
                continue;  // a record that is not filled in yet
            if (f.isVideo())
                videoFormat_ = f;
            if (f.isAudio())
                audioFormat_ = f;
        }
    }
    discardQueue();
    state_.store(static_cast<int32_t>(ConsumerState::FormatsTaken), std::memory_order_release);
}

void AviRecordWriter::finish() {
    std::lock_guard lock(stateLock_);
    stopLocked();
    discardQueue();
    state_.store(static_cast<int32_t>(ConsumerState::Finished), std::memory_order_release);
}

void AviRecordWriter::queueVideoPacket(PacketCopy packet) {
    queuePacket(std::move(packet), true);
}

void AviRecordWriter::queueAudioPacket(PacketCopy packet) {
    queuePacket(std::move(packet), false);
}

ConsumerState AviRecordWriter::state() {
    return static_cast<ConsumerState>(state_.load(std::memory_order_acquire));
}

void AviRecordWriter::queuePacket(PacketCopy item, bool video) {
    {
        std::lock_guard lock(queueLock_);
        const RecordPacket& p = item.packet;
        bool drop = endedAtLimit_.load(std::memory_order_relaxed) ||
                    queuedBytes_ + p.length > kMaxQueuedBytes ||
                    (video && videoGap_ && !p.isKeyFrame());
        if (drop) {
            if (video)
                videoGap_ = true;
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        if (video && p.isKeyFrame())
            videoGap_ = false;
        queuedBytes_ += p.length;
        queue_.push_back(std::move(item));
    }
    // The packet went in under the lock, so the writer either sees it before it sleeps or is
    // woken here; the streaming thread itself never waits for the writer.
    workArrived_.notify_one();
}

std::size_t AviRecordWriter::queuedPackets() {
    std::lock_guard lock(queueLock_);
    return queue_.size();
}

bool AviRecordWriter::waitUntilWritten(std::chrono::milliseconds limit) {
    std::unique_lock lock(queueLock_);
    return written_.wait_for(lock, limit,
                             [this] { return (queue_.empty() && !handling_) || !thread_.alive(); });
}

void AviRecordWriter::folderGone() {
    {
        std::lock_guard lock(queueLock_);
        recheckFile_.store(true, std::memory_order_relaxed);
    }
    workArrived_.notify_one();
}

std::size_t AviRecordWriter::discardQueue() {
    std::deque<PacketCopy> old;
    {
        std::lock_guard lock(queueLock_);
        old.swap(queue_);
        queuedBytes_ = 0;
        videoGap_ = false;
    }
    written_.notify_all();
    return old.size();  // the buffers are freed here, outside the lock
}

// --- engine side ---------------------------------------------------------------------------

void AviRecordWriter::setMaxFileSize(uint64_t bytes) {
    maxFileBytes_.store(bytes, std::memory_order_relaxed);
}

void AviRecordWriter::setFolder(const std::string& folder) {
    std::lock_guard lock(stateLock_);
    folder_ = nativeFolderPath(folder.c_str());
}

void AviRecordWriter::setStallNotice(std::function<void()> notice) {
    std::lock_guard lock(stateLock_);
    stallNotice_ = std::move(notice);
}

Result AviRecordWriter::start(uint32_t backdateMs) {
    std::optional<MessageBoxRequest> message;
    Result result;
    {
        std::lock_guard lock(stateLock_);
        if (thread_.alive())
            return Result::success();  // already recording
        const uint32_t limitMB = loadRelaxed(gConfig.recordLimitMB);
        std::optional<uint64_t> base;
        if (limitMB != 0 && loadRelaxed(gState.recordFolderMB) >= limitMB) {
            if (loadRelaxed(gConfig.recordLimitPolicy) == 2) {
                char text[128];
                std::snprintf(text, sizeof text,
                              "Total size of record files have exceeded the limit(%uMB).", limitMB);
                message = MessageBoxRequest{text, "Vidora", MB_OK | MB_ICONINFORMATION};
                result = Failure{text};
            } else {
                DeleteResult deleted = deleteOldestFiles(folder_.c_str(), limitMB);
                // No room was made (the folder cannot be listed, or what is left still fills
                // the limit): refuse without a message.
                if (!deleted.listed || deleted.totalBytes >= recordLimitBytes()) {
                    Failure noRoom{
                        "no room for a recording in " + folder_ +
                        (deleted.listed ? " (the limit is still reached)" : " (not listed)")};
                    qCWarning(log::recording) << noRoom.reason.c_str();
                    if (deleted.listed)
                        storeRelaxed(gState.recordFolderMB, deleted.totalMB());
                    return noRoom;
                }
                storeRelaxed(gState.recordFolderMB, deleted.totalMB());
                base = deleted.totalBytes;
            }
        }
        if (result.ok()) {
            runFolder_ = folder_;
            shownFolder_ = shownFolder(runFolder_);
            runStallNotice_ = stallNotice_;
            runCause_ = static_cast<CaptureReason>(cause_.load());
            ending_.store(static_cast<int32_t>(RecordingEnd::Closed));
            folderBaseBytes_ = base ? *base : folderSizeBytes(runFolder_).value_or(0);
            picturesWritten_ = 0;
            samplesWritten_ = 0;
            bytesTaken_ = 0;
            needKeyFrame_ = false;
            writeFailed_ = false;
            reported_ = false;
            basePath_ = composeBaseName(backdateMs);
            endedAtLimit_.store(false, std::memory_order_release);
            stalled_.store(false, std::memory_order_relaxed);
            recheckFile_.store(false, std::memory_order_relaxed);
            {
                std::lock_guard queueLock(queueLock_);
                videoGap_ = false;
                stopRequested_ = false;
            }
            thread_.start([this](WorkerThread&) { threadBody(); });
        }
    }
    // Shown after the lock is released: the box waits for the user-interface thread, which may
    // itself need this writer meanwhile.
    if (message)
        userMessageBox(message->text, message->caption, message->type);
    return result;
}

RecordFileInfo AviRecordWriter::currentFile() const {
    RecordFileInfo info;
    {
        std::lock_guard lock(fileInfoLock_);
        info.path = filePath_;
    }
    info.bytes = info.path.empty() ? 0 : fileBytes_.load(std::memory_order_relaxed);
    return info;
}

void AviRecordWriter::stop() {
    std::lock_guard lock(stateLock_);
    stopLocked();
}

void AviRecordWriter::stopLocked() {
    {
        std::lock_guard lock(queueLock_);
        stopRequested_ = true;
    }
    workArrived_.notify_one();
    thread_.stop(std::chrono::milliseconds(5));
    // Whoever waits for the queue to be written stops waiting too: no thread is left to write it.
    written_.notify_all();
}

// --- writer thread -------------------------------------------------------------------------

void AviRecordWriter::threadBody() {
    while (waitForWork()) {
        if (tick() == Step::EndThread)
            break;
    }
    if (int error = closeFile(static_cast<RecordingEnd>(ending_.load())))
        report(error);
    setStalled(false);
    {
        std::lock_guard lock(fileInfoLock_);
        filePath_.clear();
    }
    fileBytes_.store(0, std::memory_order_relaxed);
    if (endedAtLimit())
        dropped_.fetch_add(discardQueue(), std::memory_order_relaxed);
    {
        std::lock_guard lock(queueLock_);
        handling_ = false;
    }
    written_.notify_all();
}

bool AviRecordWriter::waitForWork() {
    std::unique_lock lock(queueLock_);
    workArrived_.wait(lock, [this] {
        return !queue_.empty() || stopRequested_ || recheckFile_.load(std::memory_order_relaxed);
    });
    // After stop, everything queued until then is written out before the thread ends.
    return !queue_.empty() || !stopRequested_;
}

AviRecordWriter::Step AviRecordWriter::tick() {
    // A folder went away: everything written since the last cut may be in a file nobody can
    // reach any more. Noticed here at once, not at the next key frame.
    if (recheckFile_.exchange(false, std::memory_order_relaxed) && file_.isOpen() &&
        !file_.reachable()) {
        writeFailed(file_.lastError());
    }
    PacketCopy item;
    {
        std::lock_guard lock(queueLock_);
        if (queue_.empty())
            return Step::Idle;
        item = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= item.packet.length;
        fileVideoFormat_ = videoFormat_;
        fileAudioFormat_ = audioFormat_;
        handling_ = true;
    }
    const bool goOn = handle(item);
    bool allWritten = false;
    {
        std::lock_guard lock(queueLock_);
        handling_ = false;
        allWritten = queue_.empty();
    }
    if (allWritten)
        written_.notify_all();
    return goOn ? Step::Handled : Step::EndThread;
}

bool AviRecordWriter::handle(PacketCopy& item) {
    const RecordPacket& packet = item.packet;
    const bool video = packet.isVideo();
    const uint64_t length = packet.length;
    const uint64_t limitBytes = recordLimitBytes();
    auto overLimit = [&] {
        return limitBytes != 0 && folderBaseBytes_ + bytesTaken_ >= limitBytes;
    };

    bool cut = false;
    if (video && packet.isKeyFrame()) {
        const uint64_t maxBytes = maxFileBytes_.load(std::memory_order_relaxed);
        if (maxBytes != 0 && bytesTaken_ + length >= maxBytes)
            cut = true;
        if (file_.isOpen() && file_.projectedSize() + length + 24 >= aviCutBytes_)
            cut = true;
    }
    if (overLimit())
        cut = true;

    if (cut) {
        const uint64_t closedBytes = file_.isOpen() ? file_.projectedSize() : 0;
        if (int error = closeFile(RecordingEnd::CutBySize))
            report(error);
        if (overLimit()) {
            const uint32_t limitMB = loadRelaxed(gConfig.recordLimitMB);
            bool room = false;
            if (loadRelaxed(gConfig.recordLimitPolicy) != 2) {
                DeleteResult deleted = deleteOldestFiles(runFolder_.c_str(), limitMB);
                if (deleted.listed) {
                    storeRelaxed(gState.recordFolderMB, deleted.totalMB());
                    folderBaseBytes_ = deleted.totalBytes;
                    room = deleted.totalBytes < limitBytes;
                }
            }
            if (!room) {
                // Tell the recording logic (which stops the recording and the user) at once.
                uint64_t totalMB = (folderBaseBytes_ + closedBytes) / kMiB;
                if (totalMB > loadRelaxed(gState.recordFolderMB)) {
                    storeRelaxed(gState.recordFolderMB, static_cast<uint32_t>(totalMB));
                }
                endedAtLimit_.store(true, std::memory_order_release);
                return false;
            }
        } else {
            folderBaseBytes_ += closedBytes;
        }
        picturesWritten_ = 0;
        samplesWritten_ = 0;
        bytesTaken_ = 0;
        basePath_ = composeBaseName();
    }

    const bool failing = writeFailed_;
    const bool written = video ? writeVideo(packet) : writeAudio(packet);
    if (!written && (failing || writeFailed_))
        dropped_.fetch_add(1, std::memory_order_relaxed);
    bytesTaken_ += length;
    fileBytes_.store(bytesTaken_, std::memory_order_relaxed);
    return true;
}

bool AviRecordWriter::writeVideo(const RecordPacket& packet) {
    const bool key = packet.isKeyFrame();
    if (key && picturesWritten_ > 0 && file_.isOpen()) {
        // What is written so far survives a crash; a file whose folder went away is given up
        // (and this key frame tries a new one).
        if (!file_.reachable() || !file_.commit())
            writeFailed(file_.lastError());
    }
    if (picturesWritten_ == 0 || needKeyFrame_) {
        if (!key)
            return false;  // every file, and every resumption, starts with a key frame
    }
    if (!file_.isOpen()) {
        if (writeFailed_) {
            if (!roomToResume())
                return false;
            // Named by the moment writing resumes: no file hides the gap.
            basePath_ = composeBaseName();
            picturesWritten_ = 0;
            samplesWritten_ = 0;
            bytesTaken_ = 0;
        }
        if (!openFile())
            return false;
    }
    if (!file_.writeSample(videoStream_, picturesWritten_, packet.data, packet.length, 1, key)) {
        if (file_.lastError() != 0) {
            writeFailed(file_.lastError());
        } else {
            // The file cut the failed write (and possibly buffered data before it) off again.
            picturesWritten_ = file_.streamLength(videoStream_);
            samplesWritten_ = audioStream_ >= 0 ? file_.streamLength(audioStream_) : 0;
            needKeyFrame_ = true;
        }
        return false;
    }
    ++picturesWritten_;
    needKeyFrame_ = false;
    if (picturesWritten_ == 1) {
        // A new file describes its stream at once: killed before its next key frame, it still
        // reads (its first picture) instead of holding a header without streams.
        if (!file_.commit()) {
            writeFailed(file_.lastError());
            return false;
        }
        if (writeFailed_) {
            // Writing works again. The folder may have been emptied or made anew meanwhile.
            writeFailed_ = false;
            const uint64_t measured = folderSizeBytes(runFolder_).value_or(0);
            const uint64_t own = file_.projectedSize();
            folderBaseBytes_ = measured > own ? measured - own : 0;
            setStalled(false);
        }
    }
    return true;
}

bool AviRecordWriter::writeAudio(const RecordPacket& packet) {
    if (!file_.isOpen() || picturesWritten_ == 0)
        return false;  // every file starts with a picture
    const StreamFormat& f = fileAudioFormat_;
    const uint32_t bits = f.bitsPerSample;
    if (bits == 0 || bits % 8 != 0 || f.rate == 0)
        return false;
    const uint32_t bytesPerSample = bits / 8;
    if (audioStream_ < 0) {
        const uint32_t channels = f.channels ? f.channels : 1;
        AviStreamInfo info;
        info.type = fourcc("auds");
        info.scale = channels * bytesPerSample;
        info.rate = uint32_t{f.rate} * info.scale;
        info.quality = -1;
        info.sampleSize = bytesPerSample;
        // WAVEFORMATEX: the recorded sound is mono PCM.
        uint8_t wave[18] = {};
        putLe16(wave + 0, 1);                                       // PCM
        putLe16(wave + 2, 1);                                       // channels
        putLe32(wave + 4, f.rate);                                  // samples per second
        putLe32(wave + 8, uint32_t{f.rate} * bytesPerSample);       // average bytes per second
        putLe16(wave + 12, static_cast<uint16_t>(bytesPerSample));  // block alignment
        putLe16(wave + 14, static_cast<uint16_t>(bits));
        putLe16(wave + 16, 0);
        int stream = file_.createStream(info);
        if (stream < 0)
            return false;
        if (!file_.setFormat(stream, wave, sizeof wave))
            return false;
        audioStream_ = stream;
    }
    const uint32_t samples = packet.length / bytesPerSample;
    if (file_.writeSample(audioStream_, samplesWritten_, packet.data, packet.length, samples,
                          true)) {
        samplesWritten_ += samples;
        return true;
    }
    if (file_.lastError() != 0) {
        writeFailed(file_.lastError());
    } else {
        picturesWritten_ = file_.streamLength(videoStream_);
        samplesWritten_ = file_.streamLength(audioStream_);
        if (picturesWritten_ == 0)
            needKeyFrame_ = true;
    }
    return false;
}

bool AviRecordWriter::openFile() {
    const StreamFormat& f = fileVideoFormat_;
    if (!f.present || f.rate == 0 || f.width == 0 || f.height == 0)
        return false;  // a stream that cannot be described is not stored
    std::string path = basePath_ + ".avi";
    bool created = file_.create(path);
    for (int n = 1; !created && file_.lastError() == EEXIST && n < 100; ++n) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "_%02d", n);
        path = basePath_ + suffix + ".avi";
        created = file_.create(path);
    }
    if (!created) {
        qCWarning(log::recording) << "cannot create the record file" << path.c_str() << "-"
                                  << std::strerror(file_.lastError());
        writeFailed(file_.lastError());
        return false;
    }
    {
        std::lock_guard lock(fileInfoLock_);
        filePath_ = path;
    }

    AviStreamInfo info;
    info.type = fourcc("vids");
    info.handler = 0;
    info.scale = 1;
    info.rate = f.rate;
    info.frame[2] = static_cast<int16_t>(f.width);
    info.frame[3] = static_cast<int16_t>(f.height);
    uint8_t bitmap[40] = {};
    putLe32(bitmap + 0, 40);
    putLe32(bitmap + 4, f.width);
    putLe32(bitmap + 8, f.height);
    putLe16(bitmap + 12, 1);   // planes
    putLe16(bitmap + 14, 12);  // bits per pixel
    putLe32(bitmap + 16, fourcc("MP4S"));
    videoStream_ = file_.createStream(info);
    if (videoStream_ < 0 || !file_.setFormat(videoStream_, bitmap, sizeof bitmap)) {
        file_.discard();
        videoStream_ = -1;
        return false;
    }
    audioStream_ = -1;
    eventSink().recordingStarted(eventTimeNow(clock_), path,
                                 static_cast<EventChannel>(loadRelaxed(gState.currentChannel) + 1),
                                 runCause_);
    return true;
}

int AviRecordWriter::closeFile(RecordingEnd how) {
    if (!file_.isOpen())
        return 0;
    const std::string path = file_.path();
    // What the file holds, which after a failed write may be less than what was handed to it.
    const uint64_t pictures = file_.streamLength(videoStream_);
    const uint64_t samples = file_.streamLength(audioStream_);
    // Frame-rate correction: when the pictures last shorter than the sound (fewer pictures were
    // taken than the nominal rate asks for), slow the video down so that both end together.
    const uint32_t fps = fileVideoFormat_.rate;
    const uint32_t sampleRate = fileAudioFormat_.rate;
    if (videoStream_ >= 0 && audioStream_ >= 0 && fps > 0 && sampleRate > 0 && samples > 0 &&
        pictures / fps < samples / sampleRate) {
        double corrected =
            static_cast<double>(pictures) / static_cast<double>(samples) * sampleRate;
        uint32_t rate = static_cast<uint32_t>(corrected);
        file_.setRate(videoStream_, rate > 0 ? rate : 1);
    }
    if (pictures == 0) {
        file_.discard();  // a failed start: no picture reached it
        videoStream_ = -1;
        audioStream_ = -1;
        eventSink().fileGone(eventTimeNow(clock_), path);
        return 0;
    }
    const bool closed = file_.close();
    videoStream_ = -1;
    audioStream_ = -1;
    eventSink().recordingEnded(eventTimeNow(clock_), path, how);
    if (closed)
        return 0;
    return file_.lastError() != 0 ? file_.lastError() : EIO;
}

// The current file cannot be created or written: what reached it is closed so that it plays,
// the user is told (once per recording) and packets are dropped until a key frame can start a
// new file.
void AviRecordWriter::writeFailed(int error) {
    if (error == 0)
        error = EIO;
    closeFile(RecordingEnd::Failed);  // its own failure adds nothing: the disk is full, or the
                                      // folder gone
    picturesWritten_ = 0;
    samplesWritten_ = 0;
    bytesTaken_ = 0;
    needKeyFrame_ = false;
    writeFailed_ = true;
    lastFailure_ = error;
    setStalled(true);
    report(error);
}

bool AviRecordWriter::roomToResume() {
    if (lastFailure_ != ENOSPC)
        return true;  // a missing or read-only folder: trying costs one failed open
    std::optional<uint64_t> free = faults_ ? faults_->freeBytes() : std::nullopt;
    if (!free) {
        struct statvfs disk {};
        if (::statvfs(runFolder_.empty() ? "." : runFolder_.c_str(), &disk) != 0)
            return true;
        free = uint64_t{disk.f_bavail} * disk.f_frsize;
    }
    return *free >= kResumeFreeBytes;
}

void AviRecordWriter::report(int error) {
    if (reported_)
        return;
    reported_ = true;
    char buffer[128];
    const char* reason = strerror_r(error, buffer, sizeof buffer);
    // Posted: the writer goes on emptying its queue while the box is open.
    poster_.post({"Cannot write the recording to " + shownFolder_ + ": " + reason, "Vidora",
                  MB_OK | MB_ICONWARNING});
}

void AviRecordWriter::setStalled(bool stalled) {
    if (stalled_.exchange(stalled, std::memory_order_relaxed) != stalled && runStallNotice_)
        runStallNotice_();
}

std::string AviRecordWriter::composeBaseName(uint32_t backdateMs) {
    SystemTime t = clock_.localTime();
    if (backdateMs > 0) {
        // The calendar second of t: one less when a new second began between the two readings.
        int64_t seconds = clock_.calendarSeconds();
        if (toLocalSystemTime(seconds).second != t.second)
            seconds -= 1;
        const int64_t ms = seconds * 1000 + t.milliseconds - int64_t{backdateMs};
        const int64_t whole = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
        t = toLocalSystemTime(whole, static_cast<uint16_t>(ms - whole * 1000));
    }
    char name[32];
    std::snprintf(name, sizeof name, "%04u%02u%02u%02u%02u%02u", unsigned{t.year},
                  unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second});
    if (runFolder_.empty())
        return name;
    return runFolder_ + "/" + name;
}

}  // namespace vidora

#include "engine/status_board.h"

namespace vidora {

namespace {

bool sameDay(const SystemTime& a, const SystemTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

}  // namespace

void StatusBoard::setLink(ReceiverLink link) {
    std::lock_guard lock(lock_);
    link_ = link;
}

ReceiverLink StatusBoard::link() const {
    std::lock_guard lock(lock_);
    return link_;
}

void StatusBoard::alarmRaised(int channel, AlarmKind kind, const SystemTime& now) {
    std::lock_guard lock(lock_);
    lastAlarm_ = AlarmRecord{channel, kind, now};
    if (!sameDay(countDay_, now)) {
        countDay_ = now;
        countToday_ = 0;
    }
    ++countToday_;
}

std::optional<AlarmRecord> StatusBoard::lastAlarm() const {
    std::lock_guard lock(lock_);
    return lastAlarm_;
}

int StatusBoard::alarmsOn(const SystemTime& today) const {
    std::lock_guard lock(lock_);
    return sameDay(countDay_, today) ? countToday_ : 0;
}

void StatusBoard::snapshotTaken(const std::string& path, uint32_t tick) {
    std::lock_guard lock(lock_);
    snapshot_.path = path;
    snapshot_.tick = tick;
    ++snapshot_.sequence;
}

SnapshotRecord StatusBoard::lastSnapshot() const {
    std::lock_guard lock(lock_);
    return snapshot_;
}

void StatusBoard::setRecordingStart(std::optional<uint32_t> tick) {
    std::lock_guard lock(lock_);
    recordingStart_ = tick;
}

std::optional<uint32_t> StatusBoard::recordingStart() const {
    std::lock_guard lock(lock_);
    return recordingStart_;
}

void StatusBoard::reset() {
    std::lock_guard lock(lock_);
    link_ = ReceiverLink::Searching;
    lastAlarm_.reset();
    countDay_ = SystemTime{};
    countToday_ = 0;
    snapshot_ = SnapshotRecord{};
    recordingStart_.reset();
}

StatusBoard& statusBoard() {
    static StatusBoard board;
    return board;
}

}  // namespace vidora

#include "review/player.h"

#include <algorithm>

namespace vidora {

Player::Player(std::unique_ptr<Playback> playback) : playback_(std::move(playback)) {}

void Player::setRecordings(std::vector<CatalogItem> items) {
    close();
    items_.clear();
    for (CatalogItem& item : items)
        if (item.kind == CatalogItemKind::Recording)
            items_.push_back(std::move(item));
    std::stable_sort(items_.begin(), items_.end(),
                     [](const CatalogItem& a, const CatalogItem& b) { return a.start < b.start; });
}

void Player::close() {
    playback_->close();
}

std::string Player::select(int64_t id) {
    const auto it = std::find_if(items_.begin(), items_.end(),
                                 [id](const CatalogItem& item) { return item.id == id; });
    if (it == items_.end())
        return "the recording is no longer listed";
    playing_ = false;
    return open(static_cast<int>(it - items_.begin()));
}

std::string Player::open(int index) {
    current_ = index;
    findRun();
    std::string failure = playback_->open(items_[index].path);
    if (!failure.empty())
        return failure;
    playback_->setMuted(muted_);
    if (speed_ != kNormalSpeedIndex)
        playback_->setRate(kPlaybackSpeeds[speed_]);
    if (playing_)
        playback_->play();
    return {};
}

void Player::findRun() {
    // A run is a chain of files of one channel, each starting where the one before ended.
    const auto joined = [this](int a, int b) {
        return items_[a].channel == items_[b].channel &&
               items_[b].start - items_[a].end <= kCutGapMs && items_[b].start >= items_[a].start;
    };
    int first = current_, last = current_;
    while (first > 0 && joined(first - 1, first))
        --first;
    while (last + 1 < static_cast<int>(items_.size()) && joined(last, last + 1))
        ++last;
    run_.first = first;
    run_.last = last;
    run_.lengthMs = offsetOf(last) + fileLengthMs(last);
}

int64_t Player::fileLengthMs(int index) const {
    const CatalogItem& item = items_[index];
    return std::max<int64_t>(0, item.end - item.start);
}

int64_t Player::offsetOf(int index) const {
    if (run_.first < 0)
        return 0;
    return items_[index].start - items_[run_.first].start;
}

void Player::play() {
    if (current_ < 0)
        return;
    playing_ = true;
    playback_->play();
}

void Player::pause() {
    playing_ = false;
    playback_->pause();
}

void Player::step() {
    if (current_ < 0)
        return;
    playing_ = false;
    playback_->step();
}

void Player::setSpeed(int index) {
    speed_ = std::clamp(index, 0, static_cast<int>(kPlaybackSpeeds.size()) - 1);
    if (current_ >= 0)
        playback_->setRate(kPlaybackSpeeds[speed_]);
}

void Player::setMuted(bool muted) {
    muted_ = muted;
    playback_->setMuted(muted);
}

bool Player::next() {
    if (current_ < 0 || current_ + 1 >= static_cast<int>(items_.size()))
        return false;
    return open(current_ + 1).empty();
}

bool Player::previous() {
    if (current_ <= 0)
        return false;
    return open(current_ - 1).empty();
}

int64_t Player::runPositionMs() {
    if (current_ < 0)
        return 0;
    return offsetOf(current_) + playback_->positionMs();
}

void Player::seekRun(int64_t ms) {
    if (current_ < 0)
        return;
    ms = std::clamp<int64_t>(ms, 0, run_.lengthMs);
    int target = run_.first;
    for (int i = run_.first; i <= run_.last; ++i)
        if (offsetOf(i) <= ms)
            target = i;
    if (target != current_ && !open(target).empty())
        return;
    playback_->seek(ms - offsetOf(target));
}

std::string Player::poll() {
    for (;;) {
        switch (playback_->poll()) {
            case PlaybackNotice::None:
                return {};
            case PlaybackNotice::Failed:
                playing_ = false;
                return playback_->failure();
            case PlaybackNotice::EndOfFile:
                // Within a run the next file goes on at once; at the run's end it stops there.
                if (playing_ && current_ < run_.last) {
                    std::string failure = open(current_ + 1);
                    if (!failure.empty()) {
                        playing_ = false;
                        return failure;
                    }
                } else {
                    playing_ = false;
                }
                break;
        }
    }
}

}  // namespace vidora

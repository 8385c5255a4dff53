#include "recording/avi_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/le_bytes.h"
#include "recording/disk_faults.h"

namespace vidora {

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyFrame = 0x10;
constexpr uint64_t kMoviFourccOffset = AviFile::kMoviListOffset + 8;
constexpr uint64_t kFirstChunkOffset = AviFile::kMoviListOffset + 12;

uint32_t chunkIdFor(int stream, uint32_t type) {
    char id[5] = {static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10), 'x',
                  'x', 0};
    if (type == fourcc("vids")) {
        id[2] = 'd';
        id[3] = 'c';
    } else {
        id[2] = 'w';
        id[3] = 'b';
    }
    return fourcc(id);
}

}  // namespace

AviFile::~AviFile() {
    close();
}

bool AviFile::create(const std::string& path, bool exclusive) {
    close();
    lastError_ = faults_ ? faults_->createError() : 0;
    if (lastError_ != 0)
        return false;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    fd_ = fd;
    path_ = path;
    streams_.clear();
    index_.clear();
    buffer_.clear();
    buffer_.reserve(kBufferBytes);
    failed_ = false;
    writtenEnd_ = 0;
    diskEnd_ = 0;
    end_ = kFirstChunkOffset;
    std::vector<uint8_t> header = buildHeader(false);
    if (!writeAt(0, header.data(), header.size())) {
        // A full disk often takes the new file and refuses its first bytes.
        ::close(fd_);
        fd_ = -1;
        ::unlink(path.c_str());
        if (faults_)
            faults_->give(diskEnd_);
        diskEnd_ = 0;
        return false;
    }
    writtenEnd_ = kFirstChunkOffset;
    return true;
}

int AviFile::createStream(const AviStreamInfo& info) {
    if (!isOpen() || static_cast<int>(streams_.size()) >= kMaxStreams)
        return -1;
    Stream s;
    s.info = info;
    int index = static_cast<int>(streams_.size());
    s.chunkId = chunkIdFor(index, info.type);
    streams_.push_back(std::move(s));
    return index;
}

bool AviFile::setFormat(int stream, const void* format, std::size_t bytes) {
    if (!isOpen() || stream < 0 || stream >= streamCount() || bytes > 256)
        return false;
    const auto* p = static_cast<const uint8_t*>(format);
    streams_[static_cast<std::size_t>(stream)].format.assign(p, p + bytes);
    return true;
}

void AviFile::setRate(int stream, uint32_t rate) {
    if (stream >= 0 && stream < streamCount()) {
        streams_[static_cast<std::size_t>(stream)].info.rate = rate;
    }
}

uint64_t AviFile::streamLength(int stream) const {
    if (stream < 0 || stream >= streamCount())
        return 0;
    return streams_[static_cast<std::size_t>(stream)].length;
}

uint64_t AviFile::projectedSize() const {
    return end_ + 8 + 16 * uint64_t{index_.size()};
}

bool AviFile::writeSample(int stream, uint64_t position, const void* data, uint32_t bytes,
                          uint32_t samples, bool keyFrame) {
    lastError_ = 0;
    if (!isOpen() || stream < 0 || stream >= streamCount())
        return false;
    Stream& s = streams_[static_cast<std::size_t>(stream)];
    if (position != s.length)
        return false;
    const uint64_t padded = bytes + (bytes & 1u);
    const uint64_t chunk = 8 + padded;
    // The file as closed after this chunk: data so far, this chunk, the index with its entry.
    if (end_ + chunk + 8 + 16 * (uint64_t{index_.size()} + 1) > maxFileBytes_)
        return false;

    uint8_t head[8];
    putLe32(head, s.chunkId);
    putLe32(head + 4, bytes);
    static const uint8_t kPad = 0;
    const uint64_t at = end_;

    if (buffer_.size() + chunk > kBufferBytes && !flushBuffer())
        return false;
    if (chunk > kBufferBytes) {
        // Large samples go straight to the file.
        if (!writeAt(at, head, 8) || !writeAt(at + 8, static_cast<const uint8_t*>(data), bytes) ||
            (padded != bytes && !writeAt(at + 8 + bytes, &kPad, 1))) {
            rollBackTo(writtenEnd_);
            return false;
        }
        writtenEnd_ = at + chunk;
    } else {
        buffer_.insert(buffer_.end(), head, head + 8);
        const auto* p = static_cast<const uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + bytes);
        if (padded != bytes)
            buffer_.push_back(0);
    }
    end_ = at + chunk;

    index_.push_back({s.chunkId, keyFrame ? kAviifKeyFrame : 0u,
                      static_cast<uint32_t>(at - kMoviFourccOffset), bytes, samples, stream});
    s.length += samples;
    s.maxChunkBytes = std::max(s.maxChunkBytes, bytes);
    return true;
}

bool AviFile::flushBuffer() {
    if (buffer_.empty())
        return true;
    if (!writeAt(writtenEnd_, buffer_.data(), buffer_.size())) {
        rollBackTo(writtenEnd_);
        return false;
    }
    writtenEnd_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool AviFile::writeAt(uint64_t offset, const uint8_t* data, std::size_t bytes) {
    const uint64_t oldEnd = diskEnd_;
    std::size_t allowed = bytes;
    uint64_t granted = 0;
    if (faults_ && offset + bytes > oldEnd) {
        const uint64_t growth = offset + bytes - std::max(offset, oldEnd);
        granted = faults_->take(growth);
        allowed = bytes - static_cast<std::size_t>(growth - granted);
    }
    std::size_t done = 0;
    while (done < allowed) {
        ssize_t n = ::pwrite(fd_, data + done, allowed - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lastError_ = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    diskEnd_ = std::max(oldEnd, offset + done);
    if (faults_ && granted > diskEnd_ - oldEnd)
        faults_->give(granted - (diskEnd_ - oldEnd));
    if (done == bytes)
        return true;
    if (done == allowed)
        lastError_ = ENOSPC;  // the simulated disk is full
    return false;
}

// Forgets everything after `end` (a failed write): the samples, their index entries and any
// bytes that reached the file.
void AviFile::rollBackTo(uint64_t end) {
    buffer_.clear();
    if (::ftruncate(fd_, static_cast<off_t>(end)) != 0) {
        failed_ = true;
    } else if (diskEnd_ > end) {
        if (faults_)
            faults_->give(diskEnd_ - end);
        diskEnd_ = end;
    }
    while (!index_.empty() && index_.back().offset + kMoviFourccOffset >= end) {
        const IndexEntry& e = index_.back();
        Stream& s = streams_[static_cast<std::size_t>(e.stream)];
        s.length -= e.samples;
        index_.pop_back();
    }
    writtenEnd_ = end;
    end_ = end;
}

bool AviFile::commit() {
    lastError_ = 0;
    if (!isOpen())
        return false;
    if (!flushBuffer())
        return false;
    std::vector<uint8_t> header = buildHeader(false);
    if (!writeAt(0, header.data(), header.size())) {
        failed_ = true;
        return false;
    }
    return true;
}

bool AviFile::reachable() {
    if (!isOpen())
        return false;
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd_, &opened) != 0 || ::stat(path_.c_str(), &named) != 0) {
        lastError_ = errno;
        return false;
    }
    if (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        lastError_ = ENOENT;  // another file took its name
        return false;
    }
    return true;
}

bool AviFile::writeIndex() {
    std::vector<uint8_t> idx;
    idx.reserve(8 + 16 * index_.size());
    LeBytes b(idx);
    b.u32(fourcc("idx1"));
    b.u32(static_cast<uint32_t>(16 * index_.size()));
    for (const IndexEntry& e : index_) {
        b.u32(e.chunkId);
        b.u32(e.flags);
        b.u32(e.offset);
        b.u32(e.bytes);
    }
    return writeAt(end_, idx.data(), idx.size());
}

// The disk is full: gives up the last samples, as few as free the index's room (and a block to
// spare), so the file keeps an index and plays and seeks.
void AviFile::makeRoomForIndex() {
    constexpr uint64_t kSlack = 8192;
    std::size_t keep = index_.size();
    while (keep > 0) {
        const uint64_t start = index_[keep - 1].offset + kMoviFourccOffset;
        --keep;
        if (end_ - start >= 8 + 16 * uint64_t{keep} + kSlack)
            break;
    }
    const uint64_t cut = keep < index_.size() ? index_[keep].offset + kMoviFourccOffset : end_;
    rollBackTo(cut);
}

bool AviFile::close() {
    if (!isOpen())
        return !failed_;
    lastError_ = 0;
    // A buffer that does not reach the disk is cut off again: what is left is whole.
    bool ok = flushBuffer();
    bool indexed = writeIndex();
    if (!indexed && lastError_ == ENOSPC) {
        const int error = lastError_;
        makeRoomForIndex();
        indexed = writeIndex();
        lastError_ = error;
        ok = false;
    }
    if (!indexed && ::ftruncate(fd_, static_cast<off_t>(end_)) != 0)
        ok = false;
    // Without its index the file is still readable: the header then describes the data alone.
    std::vector<uint8_t> header = buildHeader(indexed);
    if (!writeAt(0, header.data(), header.size()))
        ok = false;
    if (!indexed)
        ok = false;
    if (::close(fd_) != 0)
        ok = false;
    fd_ = -1;
    ok = ok && !failed_;
    failed_ = false;
    return ok;
}

void AviFile::discard() {
    if (!isOpen())
        return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(path_.c_str());
    if (faults_)
        faults_->give(diskEnd_);
    diskEnd_ = 0;
    failed_ = false;
}

std::vector<uint8_t> AviFile::buildHeader(bool withIndex) const {
    std::vector<uint8_t> out;
    out.reserve(kFirstChunkOffset);
    LeBytes b(out);

    const uint64_t fileSize = end_ + (withIndex ? 8 + 16 * uint64_t{index_.size()} : 0);
    b.u32(fourcc("RIFF"));
    b.u32(static_cast<uint32_t>(fileSize - 8));
    b.u32(fourcc("AVI "));

    b.u32(fourcc("LIST"));
    std::size_t hdrlSize = b.placeholder32();
    b.u32(fourcc("hdrl"));

    // Main header: timing and size from the first video stream.
    const Stream* video = nullptr;
    uint32_t suggested = 0;
    for (const Stream& s : streams_) {
        if (!video && s.info.type == fourcc("vids"))
            video = &s;
        suggested = std::max(suggested, s.maxChunkBytes + 8);
    }
    b.u32(fourcc("avih"));
    b.u32(56);
    uint32_t usPerFrame = 0;
    if (video && video->info.rate > 0) {
        usPerFrame =
            static_cast<uint32_t>(uint64_t{1000000} * video->info.scale / video->info.rate);
    }
    b.u32(usPerFrame);
    b.u32(0);  // max bytes per second
    b.u32(0);  // padding granularity
    b.u32(withIndex ? kAvifHasIndex : 0);
    b.u32(video ? static_cast<uint32_t>(video->length) : 0);
    b.u32(0);  // initial frames
    b.u32(static_cast<uint32_t>(streams_.size()));
    b.u32(suggested);
    b.u32(video ? static_cast<uint32_t>(video->info.frame[2] - video->info.frame[0]) : 0);
    b.u32(video ? static_cast<uint32_t>(video->info.frame[3] - video->info.frame[1]) : 0);
    for (int i = 0; i < 4; ++i)
        b.u32(0);

    for (const Stream& s : streams_) {
        b.u32(fourcc("LIST"));
        std::size_t strlSize = b.placeholder32();
        b.u32(fourcc("strl"));
        b.u32(fourcc("strh"));
        b.u32(56);
        b.u32(s.info.type);
        b.u32(s.info.handler);
        b.u32(0);  // flags
        b.u16(0);  // priority
        b.u16(0);  // language
        b.u32(0);  // initial frames
        b.u32(s.info.scale);
        b.u32(s.info.rate);
        b.u32(0);  // start
        b.u32(static_cast<uint32_t>(s.length));
        b.u32(s.maxChunkBytes);
        b.u32(static_cast<uint32_t>(s.info.quality));
        b.u32(s.info.sampleSize);
        for (int16_t v : s.info.frame)
            b.u16(static_cast<uint16_t>(v));
        b.u32(fourcc("strf"));
        b.u32(static_cast<uint32_t>(s.format.size()));
        b.bytes(s.format);
        if (s.format.size() & 1u)
            b.u8(0);
        b.patch32(strlSize, static_cast<uint32_t>(b.size() - strlSize - 4));
    }
    b.patch32(hdrlSize, static_cast<uint32_t>(b.size() - hdrlSize - 4));

    // Filler up to 'movi'.
    b.u32(fourcc("JUNK"));
    b.u32(static_cast<uint32_t>(kMoviListOffset - b.size() - 4));
    out.resize(kMoviListOffset, 0);

    b.u32(fourcc("LIST"));
    b.u32(static_cast<uint32_t>(end_ - (kMoviListOffset + 8)));
    b.u32(fourcc("movi"));
    return out;
}

}  // namespace vidora

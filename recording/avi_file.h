#pragma once
// A small writer of AVI 1.0 files (RIFF 'AVI ' with 'hdrl', 'movi' and 'idx1'), with the few
// operations the record writer needs: create, add a stream, set its format, append samples with
// a key-frame flag, set a stream's rate, and close.
//
// Layout: the header ('hdrl' with 'avih' and one 'strl' per stream, then 'JUNK') occupies a
// fixed region before 'movi', so streams may be added after samples were written and the first
// stream header's rate field always sits at byte 132. commit() brings the sizes and counts in
// the headers up to date with everything written so far; a file whose writer dies between
// commits reads (without its index) up to the last commit. close() appends 'idx1'.
//
// A file never grows beyond kMaxFileBytes (1 GiB), the size every AVI 1.0 reader accepts. When
// the disk fills up, close() gives up the last samples if that is what it takes to write the
// index, so the file still plays and seeks.
//
// Owned by the record writer's thread; not thread-safe.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/le_bytes.h"

namespace vidora {

class DiskFaults;

// The fields of an AVI stream header that a caller chooses; lengths and buffer sizes are kept
// by the file.
struct AviStreamInfo {
    uint32_t type = 0;     // fourcc("vids") or fourcc("auds")
    uint32_t handler = 0;  // 0: none
    uint32_t scale = 1;
    uint32_t rate = 0;  // rate / scale = units per second
    int32_t quality = 0;
    uint32_t sampleSize = 0;          // 0: every sample is one chunk of its own size
    int16_t frame[4] = {0, 0, 0, 0};  // left, top, right, bottom
};

class AviFile {
  public:
    static constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;
    static constexpr int kMaxStreams = 2;
    static constexpr uint32_t kFirstStreamRateOffset = 132;
    static constexpr uint32_t kMoviListOffset = 2036;  // so that the first sample sits at 2048

    // A smaller size limit and a disk that fills up are for tests.
    explicit AviFile(uint64_t maxFileBytes = kMaxFileBytes, DiskFaults* faults = nullptr)
        : maxFileBytes_(maxFileBytes), faults_(faults) {}
    ~AviFile();  // closes
    AviFile(const AviFile&) = delete;
    AviFile& operator=(const AviFile&) = delete;

    // Creates the file for writing. With `exclusive`, an existing file is never replaced.
    bool create(const std::string& path, bool exclusive = true);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Adds a stream; returns its index, or -1.
    int createStream(const AviStreamInfo& info);
    // The stream's format chunk ('strf'): a BITMAPINFOHEADER, a WAVEFORMATEX, ...
    bool setFormat(int stream, const void* format, std::size_t bytes);

    // Appends one chunk holding `samples` samples of the stream at `position`, which must be the
    // stream's current length (AVI 1.0 has no gaps). False when it cannot be written: the file
    // then holds exactly what it held before (a short write is cut off again).
    bool writeSample(int stream, uint64_t position, const void* data, uint32_t bytes,
                     uint32_t samples, bool keyFrame);

    // Changes a stream's rate in its header (takes effect at the next commit or at close).
    void setRate(int stream, uint32_t rate);

    // Writes out buffered data and rewrites the headers (sizes, counts) in place.
    bool commit();
    // Commits, appends the index and closes. False when anything failed to reach the file.
    bool close();
    // Closes and removes the file (it holds nothing worth keeping).
    void discard();

    // The file is still there under its path (its folder was not removed, moved or unmounted
    // while it was open). False (with lastError() ENOENT) when it is not.
    bool reachable();

    // The system's error (errno) behind the last operation that failed for the file system's
    // sake (ENOSPC, ENOENT, EACCES, EROFS, EIO, ...); 0 when it failed for another reason (a
    // sample at the wrong position, the size limit).
    int lastError() const { return lastError_; }

    uint64_t streamLength(int stream) const;  // in samples
    int streamCount() const { return static_cast<int>(streams_.size()); }
    // What the file would measure if closed now (data, chunk headers, index).
    uint64_t projectedSize() const;

  private:
    struct Stream {
        AviStreamInfo info;
        std::vector<uint8_t> format;
        uint64_t length = 0;  // samples
        uint32_t maxChunkBytes = 0;
        uint32_t chunkId = 0;  // '00dc', '01wb', ...
    };
    struct IndexEntry {
        uint32_t chunkId;
        uint32_t flags;
        uint32_t offset;  // of the chunk header, from the 'movi' fourcc
        uint32_t bytes;
        uint32_t samples;
        int stream;
    };

    std::vector<uint8_t> buildHeader(bool withIndex) const;
    bool flushBuffer();
    bool writeAt(uint64_t offset, const uint8_t* data, std::size_t bytes);
    bool writeIndex();
    void makeRoomForIndex();
    void rollBackTo(uint64_t end);

    uint64_t maxFileBytes_;
    DiskFaults* faults_;
    int fd_ = -1;
    int lastError_ = 0;
    std::string path_;
    std::vector<Stream> streams_;
    std::vector<IndexEntry> index_;
    std::vector<uint8_t> buffer_;  // data after writtenEnd_, not yet in the file
    uint64_t writtenEnd_ = 0;      // bytes in the file
    uint64_t end_ = 0;             // writtenEnd_ + buffered bytes
    uint64_t diskEnd_ = 0;         // what the file measures on disk (a failed write may leave more)
    bool failed_ = false;
};

}  // namespace vidora

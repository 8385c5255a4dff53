#include "recording/snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

// libjpeg's header needs size_t and FILE declared first.
#include <jpeglib.h>

#include "app/message_box.h"
#include "app/settings.h"
#include "app/storage.h"
#include "platform/log/log.h"
#include "platform/relaxed.h"
#include "recording/relaxed_string.h"

namespace vidora {

namespace {

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, static_cast<uint16_t>(v));
    put16(p + 2, static_cast<uint16_t>(v >> 16));
}

bool writeAll(int fd, const uint8_t* data, std::size_t bytes) {
    while (bytes > 0) {
        ssize_t n = ::write(fd, data, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

// --- libjpeg -------------------------------------------------------------------------------

// The library reports fatal errors through error_exit, which must not return: it jumps back to
// runCompression with the library's own message text.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// RAII over one compress object and its output file. It lives in the caller's frame, outside
// the frames a fatal error jumps over.
class JpegCompression {
  public:
    JpegCompression() {
        std::memset(&cinfo, 0, sizeof cinfo);
        cinfo.err = jpeg_std_error(&error.pub);
        error.pub.error_exit = jpegErrorExit;
        error.message[0] = '\0';
    }
    ~JpegCompression() {
        if (created)
            jpeg_destroy_compress(&cinfo);
        if (file)
            std::fclose(file);
    }
    JpegCompression(const JpegCompression&) = delete;
    JpegCompression& operator=(const JpegCompression&) = delete;

    // Closes the file; false when that loses data.
    bool closeFile() {
        FILE* f = file;
        file = nullptr;
        return f == nullptr || std::fclose(f) == 0;
    }

    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    FILE* file = nullptr;
    bool created = false;
};

enum class JpegResult { Done, CannotOpen, LibraryError };

// Only plain locals here: a fatal error long-jumps back into this frame.
JpegResult runCompression(JpegCompression& c, const char* path, const StoredPicture& picture,
                          uint8_t* row, int quality) {
    if (setjmp(c.error.jump))
        return JpegResult::LibraryError;
    // Marked first: a failure inside the creation leaves a half-made object that must still be
    // destroyed (destroying a zeroed one is harmless).
    c.created = true;
    jpeg_create_compress(&c.cinfo);
    c.file = std::fopen(path, "wb");
    if (!c.file)
        return JpegResult::CannotOpen;
    jpeg_stdio_dest(&c.cinfo, c.file);
    c.cinfo.image_width = static_cast<JDIMENSION>(picture.width());
    c.cinfo.image_height = static_cast<JDIMENSION>(picture.height());
    c.cinfo.input_components = 3;
    c.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_quality(&c.cinfo, quality, TRUE);
    jpeg_start_compress(&c.cinfo, TRUE);
    const std::size_t stride = picture.rowStride();
    const int width = picture.width();
    const int height = picture.height();
    for (int y = 0; y < height; ++y) {
        // Bitmap rows are bottom-up blue-green-red; JPEG wants top-down red-green-blue.
        const uint8_t* src = picture.pixels() + stride * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            row[3 * x + 0] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x + 0];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&c.cinfo, rows, 1);
    }
    jpeg_finish_compress(&c.cinfo);
    return JpegResult::Done;
}

// --- automatic names -----------------------------------------------------------------------

std::mutex gNameLock;
int64_t gNameSecond = -1;
int gNameCounter = 0;

}  // namespace

std::optional<StoredPicture> takeSnapshotPicture(StoredPictureSource& source, PictureStamp& stamp) {
    const uint32_t limitMB = loadRelaxed(gConfig.pictureLimitMB);
    if (limitMB != 0 && loadRelaxed(gState.pictureFolderMB) >= limitMB) {
        if (loadRelaxed(gConfig.pictureLimitPolicy) == 2) {
            char text[128];
            std::snprintf(text, sizeof text,
                          "Total size of picture files have exceeded the limit(%uMB).", limitMB);
            userMessageBox(text, "Vidora", MB_OK | MB_ICONINFORMATION);
            return std::nullopt;
        }
        std::string folder = loadRelaxedString(gConfig.pictureFolder);
        DeleteResult deleted = deleteOldestFiles(folder.c_str(), limitMB);
        if (!deleted.listed)
            return std::nullopt;
        storeRelaxed(gState.pictureFolderMB, deleted.totalMB());
    }

    StoredPicture picture = source.makeStoredPicture(loadRelaxed(gConfig.pictureSize));
    if (picture.empty())
        return std::nullopt;
    PictureDesc desc;
    desc.width = picture.width();
    desc.height = picture.height();
    desc.compression = 0;
    desc.rowStride = static_cast<int32_t>(picture.rowStride());
    stamp.stamp(desc, picture.pixels());
    return picture;
}

std::string automaticPictureName(int format, Clock& clock) {
    int64_t second = clock.calendarSeconds();
    int counter;
    {
        std::lock_guard lock(gNameLock);
        if (second == gNameSecond) {
            ++gNameCounter;
        } else {
            gNameCounter = 0;
            gNameSecond = second;
        }
        counter = gNameCounter;
    }
    SystemTime t = toLocalSystemTime(second);
    char name[64];
    std::snprintf(name, sizeof name, "/%04u%02u%02u-%02u%02u%02u-%02d%s", unsigned{t.year},
                  unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second}, counter,
                  format == kPictureJpeg  ? ".jpg"
                  : format == kPictureBmp ? ".bmp"
                                          : "");
    return nativeFolderPath(loadRelaxedString(gConfig.pictureFolder).c_str()) + name;
}

bool writePictureFile(const StoredPicture* picture, int format,
                      const std::optional<std::string>& path, Clock& clock) {
    if (picture == nullptr || picture->empty())
        return false;
    if (format != kPictureJpeg && format != kPictureBmp)
        return true;
    std::string target = path ? *path : automaticPictureName(format, clock);
    if (format == kPictureJpeg)
        return writeJpegFile(*picture, target, kJpegQuality);
    return writeBmpFile(*picture, target);
}

bool writeBmpFile(const StoredPicture& picture, const std::string& path) {
    if (picture.empty())
        return false;
    const uint32_t fileSize = static_cast<uint32_t>(14 + picture.size());
    uint8_t header[14] = {'B', 'M'};
    put32(header + 2, fileSize);
    put16(header + 6, 0);
    put16(header + 8, 0);
    put32(header + 10, 14 + 40);  // no colour table for 24 bits per pixel

    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        qCWarning(log::recording) << "cannot create the snapshot" << path.c_str() << "-"
                                  << std::strerror(errno);
        return false;
    }
    bool ok = writeAll(fd, header, sizeof header) && writeAll(fd, picture.data(), picture.size());
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

bool writeJpegFile(const StoredPicture& picture, const std::string& path, int quality) {
    if (picture.empty())
        return false;
    if (quality < 1 || quality > 100)
        quality = 75;
    std::vector<uint8_t> row(static_cast<std::size_t>(picture.width()) * 3 + 1);
    JpegCompression c;
    JpegResult result = runCompression(c, path.c_str(), picture, row.data(), quality);
    if (result == JpegResult::LibraryError) {
        std::string message = c.error.message;
        c.closeFile();
        userMessageBox(message, "JPEG Fatal Error", MB_OK | MB_ICONERROR);
        return false;
    }
    if (result == JpegResult::CannotOpen) {
        qCWarning(log::recording) << "cannot create the snapshot" << path.c_str() << "-"
                                  << std::strerror(errno);
        return false;
    }
    return c.closeFile();
}

}  // namespace vidora

#include "recording/snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

// libjpeg's headers need size_t and FILE declared first.
#include <jpeglib.h>
// After jpeglib.h: the message codes.
#include <jerror.h>

#include "app/message_box.h"
#include "app/settings.h"
#include "app/storage.h"
#include "platform/le_bytes.h"
#include "platform/log/log.h"
#include "platform/relaxed.h"
#include "recording/relaxed_string.h"

namespace vidora {

namespace {

// 0, or the errno of the write that failed.
int writeAll(int fd, const uint8_t* data, std::size_t bytes) {
    while (bytes > 0) {
        ssize_t n = ::write(fd, data, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return 0;
}

// Whether an open descriptor is a regular file. Only those are removed after a failure: the
// path may name a device or something else that is not ours to delete.
bool isRegularFile(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

PictureWriteResult failure(const std::string& path, int systemError) {
    PictureWriteResult r;
    r.path = path;
    r.systemError = systemError != 0 ? systemError : EIO;
    qCWarning(log::recording) << "cannot write the snapshot" << path.c_str() << "-"
                              << std::strerror(r.systemError);
    return r;
}

// --- libjpeg -------------------------------------------------------------------------------

// The library reports fatal errors through error_exit, which must not return: it jumps back to
// runCompression with the library's own message text. A failed write of the output file keeps
// the system's reason instead (the stdio destination gives up right after fwrite or fflush).
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int systemError;
};

void jpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    const int error = errno;
    err->systemError = cinfo->err->msg_code == JERR_FILE_WRITE ? (error != 0 ? error : EIO) : 0;
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
        error.systemError = 0;
    }
    ~JpegCompression() {
        if (created)
            jpeg_destroy_compress(&cinfo);
        if (file)
            std::fclose(file);
    }
    JpegCompression(const JpegCompression&) = delete;
    JpegCompression& operator=(const JpegCompression&) = delete;

    // Closes the file; 0, or the errno of a close that lost data.
    int closeFile() {
        FILE* f = file;
        file = nullptr;
        if (f == nullptr || std::fclose(f) == 0)
            return 0;
        return errno != 0 ? errno : EIO;
    }

    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    FILE* file = nullptr;
    bool created = false;
    bool regularFile = false;
    int openError = 0;
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
    if (!c.file) {
        c.openError = errno;
        return JpegResult::CannotOpen;
    }
    c.regularFile = isRegularFile(fileno(c.file));
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

std::optional<MessageBoxRequest> pictureFailureBox(const PictureWriteResult& result) {
    if (result.ok)
        return std::nullopt;
    if (result.systemError != 0) {
        namespace fs = std::filesystem;
        fs::path folder = fs::path(result.path).parent_path();
        if (folder.empty())
            folder = ".";
        std::error_code ec;
        const fs::path absolute = fs::absolute(folder, ec);
        if (!ec)
            folder = absolute.lexically_normal();
        std::string name = folder.string();
        if (name.size() > 1 && name.back() == '/')
            name.pop_back();
        return MessageBoxRequest{"Cannot save the snapshot to " + name + ": " +
                                     std::generic_category().message(result.systemError),
                                 "Vidora", MB_OK | MB_ICONWARNING};
    }
    if (!result.libraryMessage.empty())
        return MessageBoxRequest{result.libraryMessage, "JPEG Fatal Error", MB_OK | MB_ICONERROR};
    return std::nullopt;
}

PictureWriteResult writePictureFile(const StoredPicture* picture, int format,
                                    const std::optional<std::string>& path, Clock& clock) {
    if (picture == nullptr || picture->empty())
        return {};
    if (format != kPictureJpeg && format != kPictureBmp) {
        PictureWriteResult nothing;
        nothing.ok = true;
        return nothing;
    }
    std::string target = path ? *path : automaticPictureName(format, clock);
    if (format == kPictureJpeg)
        return writeJpegFile(*picture, target, kJpegQuality);
    return writeBmpFile(*picture, target);
}

PictureWriteResult writeBmpFile(const StoredPicture& picture, const std::string& path) {
    if (picture.empty())
        return {};
    const uint32_t fileSize = static_cast<uint32_t>(14 + picture.size());
    uint8_t header[14] = {'B', 'M'};
    putLe32(header + 2, fileSize);
    putLe16(header + 6, 0);
    putLe16(header + 8, 0);
    putLe32(header + 10, 14 + 40);  // no colour table for 24 bits per pixel

    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return failure(path, errno);
    const bool regular = isRegularFile(fd);
    int error = writeAll(fd, header, sizeof header);
    if (error == 0)
        error = writeAll(fd, picture.data(), picture.size());
    if (::close(fd) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    if (error != 0) {
        if (regular)
            ::unlink(path.c_str());
        return failure(path, error);
    }
    PictureWriteResult done;
    done.ok = true;
    done.path = path;
    return done;
}

PictureWriteResult writeJpegFile(const StoredPicture& picture, const std::string& path,
                                 int quality) {
    if (picture.empty())
        return {};
    if (quality < 1 || quality > 100)
        quality = 75;
    std::vector<uint8_t> row(static_cast<std::size_t>(picture.width()) * 3 + 1);
    JpegCompression c;
    const JpegResult result = runCompression(c, path.c_str(), picture, row.data(), quality);
    if (result == JpegResult::CannotOpen)
        return failure(path, c.openError);
    int error = result == JpegResult::LibraryError ? c.error.systemError : 0;
    const int closeError = c.closeFile();
    if (error == 0)
        error = closeError;
    if (result == JpegResult::Done && error == 0) {
        PictureWriteResult done;
        done.ok = true;
        done.path = path;
        return done;
    }
    if (c.regularFile)
        ::unlink(path.c_str());
    if (error != 0)
        return failure(path, error);
    PictureWriteResult libraryFailure;
    libraryFailure.path = path;
    libraryFailure.libraryMessage = c.error.message;
    if (libraryFailure.libraryMessage.empty())
        libraryFailure.libraryMessage = "JPEG library error";
    return libraryFailure;
}

}  // namespace vidora

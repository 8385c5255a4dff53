#pragma once
// Snapshots: one picture of the live channel, cut from the video transfer filter's latest
// picture at the configured size, stamped with the channel and the date and time, and written
// to the picture folder as a JPEG or a Windows bitmap named by the moment it was taken
// ("YYYYMMDD-hhmmss-NN.jpg", NN counting the pictures within one second).
//
// Called from the user-interface thread (ENG_SNAPSHOT) and the capture timer thread; the name
// counter is process-wide and locked.
#include <cstdint>
#include <optional>
#include <string>

#include "app/message_box.h"
#include "platform/clock.h"
#include "recording/picture_stamp.h"
#include "recording/stored_picture.h"

namespace vidora {

enum PictureFileFormat : int32_t { kPictureJpeg = 1, kPictureBmp = 2 };
enum PictureSizeKind : int32_t { kPictureFull = 1, kPictureHalfWidth = 2, kPictureHalfSize = 3 };

inline constexpr int kJpegQuality = 85;

// Where snapshots come from: the video transfer filter converts its latest picture. Called on
// the snapshot's thread.
class StoredPictureSource {
  public:
    virtual ~StoredPictureSource() = default;
    // kind: PictureSizeKind. A black picture of that size when no picture has arrived yet.
    virtual StoredPicture makeStoredPicture(int kind) = 0;
};

// Applies the picture folder's limit and policy (pictureLimitMB, pictureLimitPolicy; policy 2
// tells the user "Total size of picture files have exceeded the limit(%uMB)." at every
// attempt), then makes a picture of kind pictureSize and stamps it. Nothing when the limit
// forbids it.
std::optional<StoredPicture> takeSnapshotPicture(StoredPictureSource& source,
                                                 PictureStamp& stamp = noPictureStamp());

// pictureFolder + "/YYYYMMDD-hhmmss-NN" + ".jpg" (format 1), ".bmp" (format 2) or nothing.
// The counter NN starts at 00 in every new second.
std::string automaticPictureName(int format, Clock& clock = processClock());

// How writing a picture file went. A failure names the file and the reason: the system's error
// of the call that failed (creating, writing or closing the file), or the JPEG library's own
// message for its other fatal errors. A file that failed part-way is removed again.
struct PictureWriteResult {
    bool ok = false;
    int systemError = 0;  // errno
    std::string libraryMessage;
    std::string path;

    explicit operator bool() const { return ok; }
};

// What to tell the user about a failed write: the folder as an absolute path and the system's
// reason ("Cannot save the snapshot to /home/ann/SNAPSHOT: No space left on device", caption
// "Vidora", warning icon), or the JPEG library's message (caption "JPEG Fatal Error", stop icon).
// Nothing for a success, or when there was no picture to write.
std::optional<MessageBoxRequest> pictureFailureBox(const PictureWriteResult& result);

// Writes the picture as format 1 (JPEG, quality 85) or 2 (BMP) under `path`, or under an
// automatic name when there is none. Any other format writes nothing and succeeds; no picture
// fails without a reason. Shows nothing: the caller decides whom to tell and how often.
PictureWriteResult writePictureFile(const StoredPicture* picture, int format,
                                    const std::optional<std::string>& path = std::nullopt,
                                    Clock& clock = processClock());

// The two file formats. A quality outside 1-100 becomes 75.
PictureWriteResult writeBmpFile(const StoredPicture& picture, const std::string& path);
PictureWriteResult writeJpegFile(const StoredPicture& picture, const std::string& path,
                                 int quality);

}  // namespace vidora

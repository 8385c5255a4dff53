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

// Writes the picture as format 1 (JPEG, quality 85) or 2 (BMP) under `path`, or under an
// automatic name when there is none. Any other format writes nothing and succeeds; no picture
// fails.
bool writePictureFile(const StoredPicture* picture, int format,
                      const std::optional<std::string>& path = std::nullopt,
                      Clock& clock = processClock());

// The two file formats. A fatal error inside the JPEG library shows its message with the title
// "JPEG Fatal Error"; other failures are silent. A quality outside 1-100 becomes 75.
bool writeBmpFile(const StoredPicture& picture, const std::string& path);
bool writeJpegFile(const StoredPicture& picture, const std::string& path, int quality);

}  // namespace vidora

#include "platform/media/v4l2_controls.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vidora::media {

namespace {

constexpr uint32_t kControlIds[kAdjustPropertyCount] = {
    V4L2_CID_BRIGHTNESS,
    V4L2_CID_SHARPNESS,
    V4L2_CID_CONTRAST,
    V4L2_CID_SATURATION,
    V4L2_CID_GAMMA,
    V4L2_CID_HUE,
    V4L2_CID_WHITE_BALANCE_TEMPERATURE,
    V4L2_CID_BACKLIGHT_COMPENSATION,
    V4L2_CID_GAIN,
};

class FileDescriptor {
  public:
    explicit FileDescriptor(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

  private:
    int fd_;
};

int xioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

bool queryControl(int fd, uint32_t id, v4l2_queryctrl& query) {
    query = {};
    query.id = id;
    return xioctl(fd, VIDIOC_QUERYCTRL, &query) == 0 && !(query.flags & V4L2_CTRL_FLAG_DISABLED);
}

}  // namespace

bool V4l2Controls::read(AdjustTable& table) const {
    table = AdjustTable{};
    FileDescriptor fd(path_);
    if (!fd.ok())
        return false;
    bool any = false;
    for (int p = 0; p < kAdjustPropertyCount; ++p) {
        v4l2_queryctrl query;
        if (!queryControl(fd.get(), kControlIds[p], query))
            continue;
        AdjustRange& r = table[p];
        r.minimum = query.minimum;
        r.maximum = query.maximum;
        r.stepping = query.step;
        r.defaultValue = query.default_value;
        v4l2_control control{};
        control.id = kControlIds[p];
        r.current =
            xioctl(fd.get(), VIDIOC_G_CTRL, &control) == 0 ? control.value : query.default_value;
        any = true;
    }
    return any;
}

bool V4l2Controls::set(AdjustProperty property, int32_t value) const {
    if (property < 0 || property >= kAdjustPropertyCount)
        return false;
    FileDescriptor fd(path_);
    if (!fd.ok())
        return false;
    v4l2_queryctrl query;
    if (!queryControl(fd.get(), kControlIds[property], query))
        return false;
    v4l2_control control{};
    control.id = kControlIds[property];
    control.value = std::clamp(value, query.minimum, query.maximum);
    return xioctl(fd.get(), VIDIOC_S_CTRL, &control) == 0;
}

bool V4l2Controls::hasVideoStandards() const {
    FileDescriptor fd(path_);
    if (!fd.ok())
        return false;
    v4l2_standard standard{};
    standard.index = 0;
    return xioctl(fd.get(), VIDIOC_ENUMSTD, &standard) == 0;
}

bool V4l2Controls::captureBusy() const {
    FileDescriptor fd(path_);
    if (!fd.ok())
        return errno == EBUSY;  // a driver that allows one open at a time
    // Asking for no buffers changes nothing on an idle device; while another file handle owns
    // the capture queue the driver refuses with EBUSY. Other refusals (a device without
    // memory-mapped streaming) say nothing about its being in use.
    v4l2_requestbuffers request{};
    request.count = 0;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    return xioctl(fd.get(), VIDIOC_REQBUFS, &request) < 0 && errno == EBUSY;
}

}  // namespace vidora::media

#include "platform/media/gst_support.h"

#include <mutex>

namespace vidora::media {

void ensureGstInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

}  // namespace vidora::media

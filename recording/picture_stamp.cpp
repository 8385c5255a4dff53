#include "recording/picture_stamp.h"

namespace vidora {

PictureStamp& noPictureStamp() {
    static NoPictureStamp stamp;
    return stamp;
}

}  // namespace vidora

#pragma once
// The network stream as the running viewer has it: the hand-over fed by the video and audio
// transfers, and the RTSP server started, restarted or stopped as the [stream] keys say, at
// start-up and whenever the "More settings" dialog stores new values. Owned by the program
// beside the capture engine; created, applied and destroyed on the user-interface thread.
#include <string>

#include "app/preferences.h"
#include "engine/audio_transfer.h"
#include "engine/video_transfer.h"
#include "recording/picture_stamp.h"
#include "stream/live_hand_over.h"
#include "stream/rtsp_server.h"

namespace vidora {

class StreamService {
  public:
    StreamService(Preferences& prefs, VideoTransfer& video, AudioTransfer& audio,
                  PictureStamp& stamp);
    ~StreamService();
    StreamService(const StreamService&) = delete;
    StreamService& operator=(const StreamService&) = delete;

    // Reads the keys and brings the server in line. Returns an empty string, or why the stream
    // could not be started (logged; the viewer runs on without it).
    std::string apply();

    // The address to show while the stream is on, else an empty string.
    std::string address() const;
    RtspServer& server() { return server_; }
    LiveHandOver& handOver() { return handOver_; }

  private:
    Preferences& prefs_;
    VideoTransfer& video_;
    AudioTransfer& audio_;
    LiveHandOver handOver_;
    RtspServer server_;
    StreamSettings applied_;
    int listener_ = 0;
};

}  // namespace vidora

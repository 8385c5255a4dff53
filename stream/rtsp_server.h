#pragma once
// The network stream: GStreamer's RTSP server serving the live picture and sound at /live as
// H.264 (x264, tuned for low latency) and G.711 A-law. One media is shared by every client; its
// pipeline (and so the encoder) is built when the first client asks for it and torn down after
// the last has gone, so the stream costs nothing while nobody watches. A feeder thread per
// pipeline takes the latest picture from the hand-over at the record rate (repeating the last one
// while none comes: pauses, channel switches, an unplugged receiver) and stamps every buffer with
// the pipeline's running time, so a client's timeline runs on without a break or a step back.
//
// Owned by the stream service; start/stop on the user-interface thread. The server's own main
// loop runs on a thread of its own ("vidora-rtsp"); the feeders on "vidora-rtsp-feed".
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "recording/picture_stamp.h"
#include "stream/live_hand_over.h"
#include "stream/stream_settings.h"

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GstRTSPServer GstRTSPServer;
typedef struct _GstRTSPClient GstRTSPClient;
typedef struct _GstRTSPMedia GstRTSPMedia;
typedef struct _GstRTSPMediaFactory GstRTSPMediaFactory;

namespace vidora {

class StreamFeeder;

class RtspServer {
  public:
    explicit RtspServer(LiveHandOver& handOver);
    ~RtspServer();
    RtspServer(const RtspServer&) = delete;
    RtspServer& operator=(const RtspServer&) = delete;

    // Listens with `settings` (a running server is stopped first). Returns an empty string, or
    // why it cannot listen (the port is taken, the settings are refused).
    std::string start(const StreamSettings& settings);
    // Disconnects every client, tears down the pipeline and stops listening.
    void stop();

    bool running() const { return running_.load(std::memory_order_relaxed); }
    // The port listened on (the chosen one when the settings asked for port 0); 0 when stopped.
    int boundPort() const { return boundPort_.load(std::memory_order_relaxed); }
    // Connected clients that were let in (refused ones are not counted).
    int clientCount() const;
    // Pipelines built (0 while nobody watches, else 1: the media is shared).
    int pipelineCount() const;
    // Clients refused since start because the limit was reached.
    uint64_t clientsRefused() const { return refused_.load(std::memory_order_relaxed); }
    // Pictures sent into the encoder since start (repeats included).
    uint64_t picturesSent() const { return picturesSent_.load(std::memory_order_relaxed); }

    // The stamp burnt into every streamed picture (the recording's).
    void setPictureStamp(PictureStamp& stamp) { stamp_.store(&stamp, std::memory_order_release); }

  private:
    static void onClientConnected(GstRTSPServer*, GstRTSPClient* client, void* self);
    static void onClientClosed(GstRTSPClient* client, void* self);
    static void onMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, void* self);
    static void onMediaUnprepared(GstRTSPMedia* media, void* self);
    void stopOnLoop();
    void updateTaking();

    LiveHandOver& handOver_;
    std::atomic<PictureStamp*> stamp_;
    StreamSettings settings_;

    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GstRTSPServer* server_ = nullptr;
    GstRTSPMediaFactory* factory_ = nullptr;  // owned by the server's mount points
    unsigned sourceId_ = 0;
    std::thread thread_;

    std::atomic<bool> running_{false};
    std::atomic<int> boundPort_{0};
    std::atomic<uint64_t> refused_{0};
    std::atomic<uint64_t> picturesSent_{0};

    // Clients and feeders, touched by the server's loop and by stop().
    mutable std::mutex lock_;
    std::set<GstRTSPClient*> clients_;
    std::map<GstRTSPMedia*, std::unique_ptr<StreamFeeder>> feeders_;

    friend class StreamFeeder;
};

}  // namespace vidora

// The capture graph on stand-in video sources that offer what real capture devices do: YUY2,
// only MJPEG, raw video beside MJPEG, and formats the viewer cannot show. Everything after the
// source is the graph a real receiver gets.
#include <gtest/gtest.h>

#include <gst/gst.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/media/graph_elements.h"
#include "platform/media/gst_capture_graph.h"
#include "platform/media/gst_support.h"

namespace vidora::media {
namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr const char* kSize = "width=320,height=240,framerate=25/1";

// A live test picture source limited to `caps` (a caps shorthand would need an element after it).
std::string testSource(const std::string& caps) {
    return "videotestsrc is-live=true ! capsfilter caps=\"" + caps + "\"";
}

// A capture device stood in for by a pipeline description (its last element's src pad is the
// device's output). `answer`, when given, is what the device claims to offer when asked, as a
// driver may list formats it then fails to deliver.
class StandInSource final : public CaptureSource {
  public:
    explicit StandInSource(std::string description, std::string answer = {})
        : description_(std::move(description)), answer_(std::move(answer)) {}

    bool bind(const DeviceInfo&) override { return true; }
    GstPtr<GstElement> createVideoSource(VideoStandard) override {
        GError* error = nullptr;
        GstElement* bin = gst_parse_bin_from_description(description_.c_str(), TRUE, &error);
        EXPECT_EQ(error, nullptr) << (error ? error->message : "");
        g_clear_error(&error);
        if (!bin)
            return nullptr;
        GstPtr<GstElement> source = adoptFloating(bin);
        if (!answer_.empty()) {
            GstPtr<GstPad> pad = adoptRef(gst_element_get_static_pad(source.get(), "src"));
            gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_QUERY_UPSTREAM, &answerCaps, this,
                              nullptr);
        }
        return source;
    }
    GstPtr<GstElement> createAudioSource() override { return nullptr; }
    bool readAdjustments(AdjustTable&) override { return false; }
    bool setAdjustment(AdjustProperty, int32_t) override { return false; }
    int32_t vendorCmdRW(uint8_t*, int32_t*) override { return -1; }

  private:
    static GstPadProbeReturn answerCaps(GstPad*, GstPadProbeInfo* info, gpointer self) {
        GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
        if (GST_QUERY_TYPE(query) != GST_QUERY_CAPS)
            return GST_PAD_PROBE_OK;
        GstCapsPtr caps(gst_caps_from_string(static_cast<StandInSource*>(self)->answer_.c_str()));
        gst_query_set_caps_result(query, caps.get());
        return GST_PAD_PROBE_HANDLED;
    }

    std::string description_;
    std::string answer_;
};

class PictureSink final : public VideoTransferSink {
  public:
    bool acceptVideoFormat(const VideoFormat& format) override {
        std::lock_guard lock(mutex_);
        formats_.push_back(format);
        return true;
    }
    void renderVideo(const uint8_t* data, std::size_t length) override {
        std::lock_guard lock(mutex_);
        ++count_;
        if (last_.size() < 3)  // the first pictures of a live test source may still be settling
            last_.emplace_back(data, data + length);
        else
            last_.back().assign(data, data + length);
        cv_.notify_all();
    }
    // A picture from the third one on, or an empty one when fewer arrive within the limit.
    std::vector<uint8_t> settledPicture(std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, limit, [this] { return count_ >= 3; }))
            return {};
        return last_.back();
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    std::vector<VideoFormat> formats() {
        std::lock_guard lock(mutex_);
        return formats_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_ = 0;
    std::vector<VideoFormat> formats_;
    std::vector<std::vector<uint8_t>> last_;
};

struct Yuv {
    int y, u, v;
};

// The colour of a UYVY picture at (x, y): Y of the pixel, U and V of its pixel pair.
Yuv colourAt(const std::vector<uint8_t>& picture, int x, int y) {
    const std::size_t pair = (std::size_t(y) * kWidth + (x & ~1)) * 2;
    return {picture[pair + 1 + (x & 1) * 2], picture[pair], picture[pair + 2]};
}

// videotestsrc's colour bars, left to right, in 8-bit BT.601 (100% bars): white, yellow, cyan,
// green, magenta, red, blue.
constexpr std::array<Yuv, 7> kBars = {{{235, 128, 128},
                                       {210, 16, 146},
                                       {170, 166, 16},
                                       {145, 54, 34},
                                       {106, 202, 222},
                                       {81, 90, 240},
                                       {41, 240, 110}}};

// Whether each bar's middle, a quarter down the picture, has the bar's colour within `tolerance`.
void expectBars(const std::vector<uint8_t>& picture, int tolerance) {
    ASSERT_EQ(picture.size(), std::size_t(kWidth) * kHeight * 2);
    for (std::size_t bar = 0; bar < kBars.size(); ++bar) {
        const int x = int((2 * bar + 1) * kWidth / (2 * kBars.size()));
        const Yuv seen = colourAt(picture, x, kHeight / 4);
        const Yuv& want = kBars[bar];
        EXPECT_NEAR(seen.y, want.y, tolerance) << "Y of bar " << bar;
        EXPECT_NEAR(seen.u, want.u, tolerance) << "U of bar " << bar;
        EXPECT_NEAR(seen.v, want.v, tolerance) << "V of bar " << bar;
    }
}

class CaptureFormatsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ensureGstInitialized(); }
    void TearDown() override { graph_.reset(); }

    BuildResult build(std::string description, std::string answer = {}) {
        graph_ = std::make_unique<GstCaptureGraph>(
            std::make_unique<StandInSource>(std::move(description), std::move(answer)), nullptr);
        graph_->setEventNotify([this] {
            std::lock_guard lock(eventMutex_);
            ++notified_;
            eventCv_.notify_all();
        });
        return graph_->build({"Stand-in", "/dev/video-standin"}, VideoStandard::Pal, &video_,
                             nullptr);
    }
    // The graph's element factories (those inside the stand-in source included).
    std::vector<std::string> factories() const {
        std::istringstream names(graph_->elementFactoryNames());
        std::vector<std::string> all;
        for (std::string name; names >> name;)
            all.push_back(name);
        return all;
    }
    bool uses(const char* factory) const {
        const auto all = factories();
        return std::find(all.begin(), all.end(), factory) != all.end();
    }
    // The events that arrived within `limit` (waiting for the first one only).
    std::vector<GraphEvent> eventsWithin(std::chrono::milliseconds limit) {
        {
            std::unique_lock lock(eventMutex_);
            eventCv_.wait_for(lock, limit, [this] { return notified_ > 0; });
        }
        std::vector<GraphEvent> events;
        GraphEvent event;
        while (graph_->nextEvent(event))
            events.push_back(event);
        return events;
    }

    PictureSink video_;
    std::unique_ptr<GstCaptureGraph> graph_;
    std::mutex eventMutex_;
    std::condition_variable eventCv_;
    int notified_ = 0;
};

TEST_F(CaptureFormatsTest, Yuy2PicturesArriveAsUyvyOfTheirSizeAndColours) {
    ASSERT_EQ(build(testSource(std::string("video/x-raw,format=YUY2,") + kSize)), BuildResult::Ok);
    EXPECT_EQ(graph_->offeredFormats(), "raw video in YUY2");
    EXPECT_FALSE(uses("jpegdec")) << "raw video is converted, never decoded";
    ASSERT_TRUE(graph_->run());
    const std::vector<uint8_t> picture = video_.settledPicture();
    graph_->stop();
    ASSERT_FALSE(picture.empty()) << "no picture arrived";
    const std::vector<VideoFormat> formats = video_.formats();
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].width, kWidth);
    EXPECT_EQ(formats[0].height, kHeight);
    EXPECT_EQ(formats[0].fourcc, 0x59565955u);
    EXPECT_EQ(formats[0].framesPerSecond, 25);
    // YUY2 to UYVY only reorders bytes: the bars keep their exact colours.
    expectBars(picture, 2);
}

TEST_F(CaptureFormatsTest, MjpegOnlyPicturesArriveDecodedWithTheSourceColours) {
    ASSERT_EQ(build(testSource(std::string("video/x-raw,") + kSize) + " ! jpegenc quality=95"),
              BuildResult::Ok);
    EXPECT_EQ(graph_->offeredFormats(), "MJPEG");
    EXPECT_TRUE(uses("jpegdec"));
    ASSERT_TRUE(graph_->run());
    const std::vector<uint8_t> picture = video_.settledPicture();
    graph_->stop();
    ASSERT_FALSE(picture.empty()) << "no picture arrived";
    const std::vector<VideoFormat> formats = video_.formats();
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].width, kWidth);
    EXPECT_EQ(formats[0].height, kHeight);
    EXPECT_EQ(formats[0].fourcc, 0x59565955u);
    // JPEG is lossy and halves the colour resolution: close, not exact, in the bars' middles.
    expectBars(picture, 10);
}

TEST_F(CaptureFormatsTest, RawVideoBesideMjpegIsTakenRawAndTheDecoderIsListed) {
    // Like most webcams, the device lists MJPEG first.
    const std::string yuy2 = std::string("video/x-raw,format=YUY2,") + kSize;
    ASSERT_EQ(build(testSource(yuy2), "image/jpeg," + std::string(kSize) + ";" + yuy2),
              BuildResult::Ok);
    EXPECT_EQ(graph_->offeredFormats(), "MJPEG, raw video in YUY2");
    EXPECT_FALSE(uses("jpegdec"));
    ASSERT_TRUE(graph_->run());
    const std::vector<uint8_t> picture = video_.settledPicture();
    graph_->stop();
    ASSERT_FALSE(picture.empty()) << "no picture arrived";
    expectBars(picture, 2);

    // The decoder is one of the elements a real receiver's graph needs (--diagnose checks it).
    const auto elements = graphElements();
    const auto listed = std::find_if(elements.begin(), elements.end(), [](const GraphElement& e) {
        return std::string(e.factory) == "jpegdec";
    });
    ASSERT_NE(listed, elements.end());
    EXPECT_TRUE(listed->receiver);
    EXPECT_STREQ(listed->debianPackage, "gstreamer1.0-plugins-good");
}

TEST_F(CaptureFormatsTest, UnusableFormatsFailTheBuildNamingThemWithoutEventsOrPictures) {
    struct Case {
        std::string answer;  // what the device offers; empty: what its pictures are
        std::string named;
    };
    const Case cases[] = {
        {"", "Bayer"},
        {"video/x-h264,stream-format=byte-stream;video/x-bayer,format=grbg;"
         "video/x-h264,stream-format=avc",
         "H.264, Bayer"},
        {"video/mpeg,mpegversion=4,systemstream=false;video/x-h265;video/x-made-up",
         "MPEG-4, H.265, video/x-made-up"},
        {"EMPTY", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        notified_ = 0;
        EXPECT_EQ(build(testSource(std::string("video/x-bayer,format=bggr,") + kSize), c.answer),
                  BuildResult::FormatUnusable);
        EXPECT_EQ(graph_->offeredFormats(), c.named);
        EXPECT_FALSE(graph_->run()) << "nothing was built to run";
        EXPECT_TRUE(eventsWithin(200ms).empty());
        EXPECT_EQ(video_.count(), 0);
    }
}

TEST_F(CaptureFormatsTest, AFormatRefusedOncePlayingIsReportedAsSuchNotAsAFailure) {
    // The device claims YUY2 and then delivers only Bayer: negotiation fails once playing.
    ASSERT_EQ(build(testSource(std::string("video/x-bayer,format=bggr,") + kSize),
                    std::string("video/x-raw,format=YUY2,") + kSize),
              BuildResult::Ok);
    EXPECT_EQ(graph_->offeredFormats(), "raw video in YUY2");
    graph_->run();  // may or may not see the failure before it returns
    const std::vector<GraphEvent> events = eventsWithin(5s);
    graph_->stop();
    ASSERT_FALSE(events.empty()) << "the refusal was not reported";
    for (const GraphEvent& event : events)
        EXPECT_EQ(event.code, kEventFormatRejected);
    EXPECT_EQ(video_.count(), 0);
}

}  // namespace
}  // namespace vidora::media

#include "recording/xvid_encoder.h"

#include <xvid.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <numeric>

namespace vidora {

namespace {

void initialiseXvidOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        xvid_gbl_init_t init{};
        init.version = XVID_VERSION;
        init.cpu_flags = 0;  // detect the processor's features
        xvid_global(nullptr, XVID_GBL_INIT, &init, nullptr);
    });
}

// Motion search per quality step, as a DivX4-style encoder grades it: 5, the best, searches
// with advanced diamonds and extended search at 16x16 and 8x8, refines to half pixels at both
// sizes and compares chroma too. Trellis quantization and high-quality AC prediction are not
// motion search and are left out: they cost about a tenth more time and made the recordings no
// smaller at the recording's quantizer range.
int motionFlagsFor(int quality) {
    int flags = 0;
    if (quality >= 2)
        flags |= XVID_ME_ADVANCEDDIAMOND16 | XVID_ME_HALFPELREFINE16;
    if (quality >= 3)
        flags |= XVID_ME_ADVANCEDDIAMOND8 | XVID_ME_HALFPELREFINE8;
    if (quality >= 4)
        flags |= XVID_ME_CHROMA_PVOP | XVID_ME_CHROMA_BVOP;
    if (quality >= 5)
        flags |= XVID_ME_EXTSEARCH16 | XVID_ME_EXTSEARCH8;
    return flags;
}

// The profile and level the stream announces (and players may check): Advanced Simple Profile
// at the lowest level that holds the picture. Level 4 holds 792 macroblocks (352 x 576), level 5
// 1 620 (720 x 576); xvid.h names no constant for level 5. Only the announcement changes: the
// encoder codes the pictures the same either way.
constexpr int kProfileAdvancedSimpleL5 = 0xf5;
int profileFor(int width, int height) {
    const int macroblocks = ((width + 15) / 16) * ((height + 15) / 16);
    return macroblocks <= 792 ? XVID_PROFILE_AS_L4 : kProfileAdvancedSimpleL5;
}

// Half-pixel vectors from quality 2, four vectors per macroblock from quality 3.
int vopFlagsFor(int quality) {
    int flags = 0;
    if (quality >= 2)
        flags |= XVID_VOP_HALFPEL;
    if (quality >= 3)
        flags |= XVID_VOP_INTER4V;
    return flags;
}

// The pixel aspect that shows a width x height picture in the display aspect: players take the
// stream's pixel aspect to size the picture, so without it a 720 x 576 recording of a 4:3 camera
// shows at 5:4. The ratio follows from the size itself: the 625- and 525-line codes (12:11,
// 10:11) fit a 704-pixel active line, and a 720-pixel picture would show at 15:11 with them.
// Ratios the stream header names get their code; any other goes in the extended form, whose
// terms must each fit in a byte (the closest such ratio stands in otherwise).
struct PixelAspect {
    int code = XVID_PAR_11_VGA;
    int width = 1;
    int height = 1;
};

PixelAspect pixelAspectFor(int width, int height, int displayWidth, int displayHeight) {
    if (width <= 0 || height <= 0 || displayWidth <= 0 || displayHeight <= 0)
        return {};
    int64_t num = int64_t{displayWidth} * height;
    int64_t den = int64_t{displayHeight} * width;
    const int64_t g = std::gcd(num, den);
    num /= g;
    den /= g;
    if (num > 255 || den > 255) {
        const double target = static_cast<double>(num) / static_cast<double>(den);
        double bestError = std::numeric_limits<double>::max();
        for (int64_t d = 1; d <= 255; ++d) {
            const int64_t n = std::clamp<int64_t>(std::llround(target * d), 1, 255);
            const double error = std::abs(static_cast<double>(n) / d - target);
            if (error < bestError) {
                bestError = error;
                num = n;
                den = d;
            }
        }
        const int64_t h = std::gcd(num, den);
        num /= h;
        den /= h;
    }
    struct Named {
        int code;
        int64_t width, height;
    };
    static constexpr Named kNamed[] = {{XVID_PAR_11_VGA, 1, 1},
                                       {XVID_PAR_43_PAL, 12, 11},
                                       {XVID_PAR_43_NTSC, 10, 11},
                                       {XVID_PAR_169_PAL, 16, 11},
                                       {XVID_PAR_169_NTSC, 40, 33}};
    for (const Named& n : kNamed) {
        if (n.width == num && n.height == den)
            return {n.code, static_cast<int>(num), static_cast<int>(den)};
    }
    return {XVID_PAR_EXT, static_cast<int>(num), static_cast<int>(den)};
}

}  // namespace

XvidEncoder::~XvidEncoder() {
    close();
}

// Parameter mapping onto the xvid 1.3 API:
// - width, height -> xvid_enc_create_t width/height; the frame rate -> fincr 1 / fbase rate;
// - bit rate -> the single-pass rate-control plugin's bitrate; its averaging_period takes the
//   rate-control period, its buffer the reaction period and its reaction_delay_factor the
//   reaction ratio (the plugin has no separate up/down ratio);
// - quantizer range -> min_quant/max_quant for I, P and B pictures;
// - maximum key-frame interval -> max_key_interval; no bidirectional prediction -> max_bframes 0;
//   deinterlacing and overlapped block motion compensation are simply not enabled;
// - quality 5 -> the most thorough motion search above (xvid's motion flags of its top preset,
//   half-pixel and four-vector VOP flags);
// - per picture: input XVID_CSP_UYVY, quantizer 0 and type auto (rate control and the encoder
//   decide), so key frames come only from the encoder's own decision;
// - the display aspect -> the pixel aspect in the stream's VOL headers (pixelAspectFor above).
bool XvidEncoder::open(const XvidSettings& settings) {
    close();
    if (settings.width <= 0 || settings.height <= 0)
        return false;
    initialiseXvidOnce();

    xvid_plugin_single_t single{};
    single.version = XVID_VERSION;
    single.bitrate = settings.bitRate;
    single.averaging_period = settings.rcPeriod;
    single.buffer = settings.rcReactionPeriod;
    single.reaction_delay_factor = settings.rcReactionRatio;

    xvid_enc_plugin_t plugins[1];
    plugins[0].func = xvid_plugin_single;
    plugins[0].param = &single;

    xvid_enc_create_t create{};
    create.version = XVID_VERSION;
    create.profile = profileFor(settings.width, settings.height);
    create.width = settings.width;
    create.height = settings.height;
    create.num_plugins = 1;
    create.plugins = plugins;
    create.num_threads = 0;  // one thread: the streaming thread that hands us the picture
    create.max_bframes = 0;
    create.global = 0;
    create.fincr = 1;
    create.fbase = std::max(1, settings.framesPerSecond);
    create.max_key_interval = settings.maxKeyInterval;
    create.frame_drop_ratio = 0;
    for (int i = 0; i < 3; ++i) {
        create.min_quant[i] = settings.minQuantizer;
        create.max_quant[i] = settings.maxQuantizer;
    }
    if (xvid_encore(nullptr, XVID_ENC_CREATE, &create, nullptr) < 0 || !create.handle) {
        return false;
    }
    handle_ = create.handle;
    settings_ = settings;
    vopFlags_ = vopFlagsFor(settings.quality);
    motionFlags_ = motionFlagsFor(settings.quality);
    const PixelAspect aspect = pixelAspectFor(
        settings.width, settings.height, settings.displayAspectWidth, settings.displayAspectHeight);
    par_ = aspect.code;
    parWidth_ = aspect.width;
    parHeight_ = aspect.height;
    return true;
}

void XvidEncoder::close() {
    if (handle_) {
        xvid_encore(handle_, XVID_ENC_DESTROY, nullptr, nullptr);
        handle_ = nullptr;
    }
}

XvidEncoder::Output XvidEncoder::encode(const uint8_t* uyvy, uint8_t* out,
                                        std::size_t outCapacity) {
    Output result;
    if (!handle_)
        return result;

    xvid_enc_frame_t frame{};
    frame.version = XVID_VERSION;
    frame.vol_flags = 0;
    frame.par = par_;
    frame.par_width = parWidth_;
    frame.par_height = parHeight_;
    frame.vop_flags = vopFlags_;
    frame.motion = motionFlags_;
    frame.input.csp = XVID_CSP_UYVY;
    frame.input.plane[0] = const_cast<uint8_t*>(uyvy);
    frame.input.stride[0] = settings_.width * 2;
    frame.type = XVID_TYPE_AUTO;
    frame.quant = 0;
    frame.bitstream = out;
    frame.length = static_cast<int>(std::min<std::size_t>(outCapacity, INT_MAX));

    xvid_enc_stats_t stats{};
    stats.version = XVID_VERSION;
    int length = xvid_encore(handle_, XVID_ENC_ENCODE, &frame, &stats);
    if (length <= 0)
        return result;
    result.length = length;
    result.keyFrame = (frame.out_flags & XVID_KEYFRAME) != 0;
    return result;
}

}  // namespace vidora

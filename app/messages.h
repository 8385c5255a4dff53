#pragma once
// Numbered messages of the application bus and the program's own window messages.
#include <cstdint>

namespace vidora {

enum BusMessageId : int32_t {
    ENG_VIDEO_RECT_CHANGED = 0x10002,
    ENG_TOGGLE_FULLSCREEN_LAYOUT = 0x10005,
    APP_QUIT = 0x10007,
    APP_STARTED = 0x1000A,
    ENG_LIVE_START = 0x10101,
    ENG_RECORD_START = 0x10103,
    ENG_RECORD_STOP = 0x10104,
    ENG_CHANNEL_NEXT = 0x10106,
    ENG_PAINT = 0x10107,
    ENG_TOGGLE_QUAD = 0x10108,
    ENG_CLICK_SELECT = 0x10109,  // value: client x in the low 16 bits, y in the high 16 bits
    ENG_CHANNEL_ENABLE = 0x1010A,
    ENG_CHANNEL_DISABLE = 0x1010B,
    ENG_CHANNEL_SELECT = 0x1010C,
    ENG_CYCLE_START = 0x1010D,
    ENG_CYCLE_STOP = 0x1010E,
    ENG_SNAPSHOT = 0x1010F,
    ENG_CONNECT = 0x10110,
    ENG_GRAPH_EVENT = 0x10111,
    NTF_LIVE_STATE = 0x10112,
    NTF_UNUSED_10113 = 0x10113,  // a user-interface notice id that nobody sends
    NTF_CHANNEL_CHANGED = 0x10114,
    ENG_LIVE_PAUSE = 0x10115,
    ENG_SET_VOLUME = 0x10116,
    NTF_RECORD_STATE = 0x10117,
    ENG_DISPLAY_CHANGED = 0x10118,
    ENG_SETTINGS_CHANGED = 0x10119,
};

// Ids the engine registers and ignores.
inline constexpr int32_t kIgnoredEngineIds[] = {0x10001, 0x10003, 0x10004, 0x10006, 0x10102};

inline constexpr bool isUiNotice(int32_t id) {
    return id == NTF_LIVE_STATE || id == NTF_UNUSED_10113 || id == NTF_CHANNEL_CHANGED ||
           id == NTF_RECORD_STATE;
}

// Packs and unpacks a click position carried in a bus value (signed 16-bit x and y).
inline constexpr int32_t packPoint(int x, int y) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) |
                                static_cast<uint16_t>(x));
}
inline constexpr int pointX(int32_t v) {
    return static_cast<int16_t>(v & 0xFFFF);
}
inline constexpr int pointY(int32_t v) {
    return static_cast<int16_t>((static_cast<uint32_t>(v) >> 16) & 0xFFFF);
}

// Window messages of the program's own.
enum : uint32_t {
    WM_GRAPH_NOTIFY = 0x8001,  // the capture graph has events waiting
    WM_SHOW_MESSAGE = 0x8002,  // show a message box for another thread
};

}  // namespace vidora

#pragma once
// The artwork of the default skin: the group pictures, the main-window frame, the skin file that
// ties them together, and the alarm tone. Drawn with QPainter (offscreen), written as 24-bit
// BMPs; the same input always gives the same files on a given set of fonts.
#include <cstdint>
#include <string>
#include <vector>

namespace vidora::skinart {

// Writes ui.ini, channel.bmp, volume.bmp, tool.bmp, frame.bmp and alarm.wav into the folder.
// Needs a QGuiApplication. False (with a reason) when a file cannot be written.
bool writeDefaultSkin(const std::string& folder, std::string* error);

// A two-tone chime of about one second: 16-bit mono PCM at 22050 Hz, as a WAV file image.
std::vector<uint8_t> alarmWav();

}  // namespace vidora::skinart

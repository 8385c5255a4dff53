#pragma once
// The program's log categories, one per layer. They are off by default: QT_LOGGING_RULES (for
// example QT_LOGGING_RULES="vidora.media=true") or the programs' --verbose switch them on, and
// their lines go to standard error through Qt's message handler. Any thread may log.
#include <QLoggingCategory>

namespace vidora::log {

Q_DECLARE_LOGGING_CATEGORY(app)        // start-up, folders, settings file
Q_DECLARE_LOGGING_CATEGORY(engine)     // live view, channel switching, alarms
Q_DECLARE_LOGGING_CATEGORY(recording)  // record files, snapshots, the encoder
Q_DECLARE_LOGGING_CATEGORY(media)      // GStreamer graphs, devices, the alarm sound
Q_DECLARE_LOGGING_CATEGORY(usb)        // the receiver's vendor requests
Q_DECLARE_LOGGING_CATEGORY(ui)         // skin and windows

// Switches every category on, at every level (the programs' --verbose). QT_LOGGING_RULES still
// has the last word.
void enableAll();

}  // namespace vidora::log

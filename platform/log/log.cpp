#include "platform/log/log.h"

namespace vidora::log {

// Only critical messages pass unless a rule switches a category on; nothing logs critical.
Q_LOGGING_CATEGORY(app, "vidora.app", QtCriticalMsg)
Q_LOGGING_CATEGORY(engine, "vidora.engine", QtCriticalMsg)
Q_LOGGING_CATEGORY(recording, "vidora.recording", QtCriticalMsg)
Q_LOGGING_CATEGORY(media, "vidora.media", QtCriticalMsg)
Q_LOGGING_CATEGORY(usb, "vidora.usb", QtCriticalMsg)
Q_LOGGING_CATEGORY(ui, "vidora.ui", QtCriticalMsg)

void enableAll() {
    QLoggingCategory::setFilterRules(QStringLiteral("vidora.*=true"));
}

}  // namespace vidora::log

#include "platform/media/gst_support.h"

#include <cstring>
#include <mutex>

#include "platform/log/log.h"

namespace vidora::media {

void ensureGstInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

std::string childFactoryNames(GstElement* bin) {
    if (!bin || !GST_IS_BIN(bin))
        return {};
    std::string names;
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory =
            gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        if (factory) {
            if (!names.empty())
                names += ' ';
            names += GST_OBJECT_NAME(factory);
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return names;
}

bool isPlaceholderSink(GstElement* autoSink) {
    const std::string names = ' ' + childFactoryNames(autoSink) + ' ';
    return names.find(" fakesink ") != std::string::npos;
}

std::string describeBusMessage(GstMessage* message) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    const char* kind = nullptr;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            gst_message_parse_error(message, &error, &debug);
            kind = "error";
            break;
        case GST_MESSAGE_WARNING:
            gst_message_parse_warning(message, &error, &debug);
            kind = "warning";
            break;
        case GST_MESSAGE_INFO:
            gst_message_parse_info(message, &error, &debug);
            kind = "info";
            break;
        default:
            return {};
    }
    std::string line = kind;
    if (GST_MESSAGE_SRC(message))
        line += std::string(" from \"") + GST_MESSAGE_SRC_NAME(message) + '"';
    line += ": ";
    line += error && error->message ? error->message : "(no text)";
    if (debug && *debug)
        line += std::string(" [") + debug + ']';
    if (error)
        g_error_free(error);
    g_free(debug);
    return line;
}

void logBusMessage(GstMessage* message) {
    const std::string line = describeBusMessage(message);
    if (line.empty())
        return;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_INFO)
        qCInfo(log::media, "%s", line.c_str());
    else
        qCWarning(log::media, "%s", line.c_str());
}

}  // namespace vidora::media

#pragma once
// The live settings record gConfig as the threads share it. The user-interface thread rewrites it
// (loading the settings file, the defaults, the settings dialog's "Ok", the picture adjustments,
// the receiver's adjustment ranges) while the engine's threads, the AVI writer and the folder
// watchers read it:
//  - one field (a number, a flag, one element of an array): loadRelaxed(gConfig.field), no lock;
//  - a string (folder paths, channel names, the password) or a copy of the whole record:
//    loadConfigString(gConfig.field) or loadConfig(). They copy under the config lock and so see
//    the whole old or the whole new value, never a path that is half one folder and half another;
//  - every write: storeConfig(record) or updateConfig(edit). Both hold the config lock and store
//    each field whole with a relaxed atomic store, so the lock-free reads of single fields stay
//    sound while a write-back runs.
// The user-interface thread makes every write, so it may also read a field directly.
//
// The config lock is held only while bytes are copied: it is the innermost lock of the program,
// and nothing is called out while it is held (an edit passed to updateConfig only edits).
#include <cstddef>
#include <mutex>
#include <string>
#include <type_traits>

#include "app/settings.h"
#include "platform/relaxed.h"

namespace vidora {

std::mutex& configLock();

namespace config_detail {

// Every field of the record, in layout order.
template <class F>
void forEachField(F&& f) {
    f(&VidoraConfig::askPassword);
    f(&VidoraConfig::password);
    f(&VidoraConfig::soundAlarmChannel);
    f(&VidoraConfig::motionAlarmChannel);
    f(&VidoraConfig::alarmCapture);
    f(&VidoraConfig::alarmRecord);
    f(&VidoraConfig::alarmSound);
    f(&VidoraConfig::alarmRecordSeconds);
    f(&VidoraConfig::alarmCaptureSeconds);
    f(&VidoraConfig::alarmCaptureFps);
    f(&VidoraConfig::recordFolder);
    f(&VidoraConfig::reservedA);
    f(&VidoraConfig::videoStandard);
    f(&VidoraConfig::reservedB);
    f(&VidoraConfig::recordImageSize);
    f(&VidoraConfig::recordFps);
    f(&VidoraConfig::recordLimitMB);
    f(&VidoraConfig::recordFileMB);
    f(&VidoraConfig::recordLimitPolicy);
    f(&VidoraConfig::pictureFolder);
    f(&VidoraConfig::pictureFormat);
    f(&VidoraConfig::pictureSize);
    f(&VidoraConfig::pictureLimitMB);
    f(&VidoraConfig::pictureLimitPolicy);
    f(&VidoraConfig::taskList);
    f(&VidoraConfig::logList);
    f(&VidoraConfig::logSystem);
    f(&VidoraConfig::logLogin);
    f(&VidoraConfig::logAlarm);
    f(&VidoraConfig::logParameters);
    f(&VidoraConfig::channelName);
    f(&VidoraConfig::showDate);
    f(&VidoraConfig::showTime);
    f(&VidoraConfig::showChannelName);
    f(&VidoraConfig::reserved759);
    f(&VidoraConfig::brightness);
    f(&VidoraConfig::sharpness);
    f(&VidoraConfig::contrast);
    f(&VidoraConfig::saturation);
    f(&VidoraConfig::adjustMin);
    f(&VidoraConfig::adjustMax);
    f(&VidoraConfig::adjustDefault);
    f(&VidoraConfig::cycleSeconds);
}

// Copies a field (or an array of them, element by element) with relaxed atomic accesses of the
// field's own type on the shared side.
template <class T>
void storeWhole(T& shared, const T& value) {
    if constexpr (std::is_array_v<T>) {
        for (std::size_t i = 0; i < std::extent_v<T>; ++i)
            storeWhole(shared[i], value[i]);
    } else {
        storeRelaxed(shared, value);
    }
}

template <class T>
void loadWhole(T& out, const T& shared) {
    if constexpr (std::is_array_v<T>) {
        for (std::size_t i = 0; i < std::extent_v<T>; ++i)
            loadWhole(out[i], shared[i]);
    } else {
        out = loadRelaxed(shared);
    }
}

// Both under the config lock.
VidoraConfig copyLocked();
void storeLocked(const VidoraConfig& record);

}  // namespace config_detail

// A consistent copy of the live record.
VidoraConfig loadConfig();

// Writes `record` over the live record (the settings dialog's "Ok", loading the file).
void storeConfig(const VidoraConfig& record);

// Edits the live record: `edit` gets a copy to change, which is then written back, all under the
// config lock so that no other write falls in between. `edit` must only edit.
template <class Edit>
void updateConfig(Edit&& edit) {
    std::lock_guard lock(configLock());
    VidoraConfig record = config_detail::copyLocked();
    edit(record);
    config_detail::storeLocked(record);
}

// A string field of the live record (up to its first NUL), whole.
template <std::size_t N>
std::string loadConfigString(const char (&field)[N]) {
    char copy[N];
    {
        std::lock_guard lock(configLock());
        config_detail::loadWhole(copy, field);
    }
    std::size_t length = 0;
    while (length < N && copy[length] != '\0')
        ++length;
    return std::string(copy, length);
}

}  // namespace vidora

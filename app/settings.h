#pragma once
// The process-wide records and the settings file "./vidora.cfg".
#include <string>

#include "app/records.h"

namespace vidora {

class TaskList;

// The one instance of each record. Cross-thread fields: platform/relaxed.h for single fields,
// app/live_config.h for gConfig's strings, copies and writes, app/live_state.h for pan offsets.
extern ViewerState gState;
extern VidoraConfig gConfig;

// The viewer's task list (created by loadSettings, freed at shutdown).
TaskList& taskList();

inline constexpr const char* kSettingsFileName = "vidora.cfg";

// Reads ./vidora.cfg into the records and the task list, or applies the defaults and writes the
// file when there is none. Never fails; damaged files load as far as they are readable.
void loadSettings();
// Writes ./vidora.cfg atomically (temporary file + rename, owner-only permissions). On failure
// shows "Can't save configuration to file." and returns false.
bool saveSettings();
// Sets every field that has a default; other fields keep their values.
void applyDefaultSettings();
// The record and snapshot folders that applyDefaultSettings gives a new settings file:
// "./RECORD" and "./SNAPSHOT" until set. Longer paths than the record holds are cut short, so
// callers check the length first.
void setDefaultFolders(const std::string& recordFolder, const std::string& pictureFolder);
// Frees every task record and empties the list (orderly shutdown, after the last save).
void freeTaskList();

// Brings the values that later code uses as an index or a divisor into range and terminates
// every fixed-size string field. Everything else stays as read.
void sanitizeLoadedSettings(ViewerState& state, VidoraConfig& config);

}  // namespace vidora

#pragma once
// The tables of events.db, their version (PRAGMA user_version) and the forward migrations. The
// README documents the tables for users who query the file with sqlite3; the texts stored for
// the enumerations below are part of that documentation.
#include <optional>
#include <string>
#include <string_view>

#include "app/event_sink.h"
#include "events/database.h"

namespace vidora::events {

// The version this program writes. Older files are migrated forward step by step; a file of a
// newer version is left alone (the log stays off rather than damage what a newer Vidora wrote).
inline constexpr int kSchemaVersion = 2;

// Creates the tables of version 1, the first released layout (kept so that migrations can be
// tested from it).
std::string createVersion1(Database& db);

// Brings the file to kSchemaVersion: creates it when empty (version 0), migrates it forward
// otherwise, all in one transaction. Empty on success, else the reason.
std::string migrate(Database& db);

// WAL journal (readers beside the writer), normal sync (a power cut may lose the last
// transaction, never the file), foreign keys off (none are declared).
std::string configureConnection(Database& db);

// The stored texts.
std::string_view alarmKindText(AlarmKind kind);
std::string_view reasonText(CaptureReason reason);
std::string_view endingText(RecordingEnd how);
std::string_view receiverText(ReceiverEvent what);
std::optional<AlarmKind> alarmKindOf(std::string_view text);
// "unknown" (a file found in a folder) reads as Manual.
CaptureReason reasonOf(std::string_view text);

}  // namespace vidora::events

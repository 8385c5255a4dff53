#pragma once
// The event log of a program run and its catalog: events.db in the working folder, opened once
// the settings are loaded (a damaged file is rebuilt from the record and picture folders and the
// user is told once), installed as the process's event sink and catalog while this object
// lives. Created on the UI thread after the settings were loaded; destroyed after the modules
// stopped, so that every producer is gone before the sink.
#include <memory>
#include <optional>

#include "app/message_poster.h"
#include "events/event_catalog.h"
#include "events/event_log.h"

namespace vidora {

class ProgramEvents {
  public:
    ProgramEvents();
    ~ProgramEvents();
    ProgramEvents(const ProgramEvents&) = delete;
    ProgramEvents& operator=(const ProgramEvents&) = delete;

  private:
    events::EventLog log_;
    std::optional<events::EventCatalog> catalog_;
    MessagePoster poster_;  // the one message about a damaged log, without waiting for the user
};

// The record and picture folders as the settings hold them now.
events::StoreFolders currentStoreFolders();

}  // namespace vidora

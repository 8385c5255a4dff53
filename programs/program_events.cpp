#include "programs/program_events.h"

#include "app/live_config.h"
#include "app/settings.h"
#include "events/program_catalog.h"

namespace vidora {

events::StoreFolders currentStoreFolders() {
    return {loadConfigString(gConfig.recordFolder), loadConfigString(gConfig.pictureFolder)};
}

ProgramEvents::ProgramEvents() : log_(events::kEventLogFileName) {
    const events::EventLogOpened opened = log_.open(currentStoreFolders());
    if (!opened.failure.empty())
        return;  // said in the log; the program runs without an event log
    if (opened.damagedCopy) {
        poster_.post(
            {events::damagedLogText(*opened.damagedCopy), "Vidora", MB_OK | MB_ICONWARNING});
    }
    catalog_.emplace(log_.file(), currentStoreFolders);
    log_.setFolders(currentStoreFolders);
    installCatalog(&*catalog_);
    installEventSink(&log_);
    log_.start();
}

ProgramEvents::~ProgramEvents() {
    installEventSink(nullptr);
    installCatalog(nullptr);
    log_.stop();
}

}  // namespace vidora

#pragma once
// The catalog of this run, for the recordings window: the program installs its EventCatalog
// once the event log is open and removes it (nullptr) before the log goes; nullptr while there
// is none (tests, or a log that could not be opened). Read and swapped atomically; the installer
// keeps the catalog alive while it is installed.
#include "events/catalog.h"

namespace vidora {

Catalog* installedCatalog();
void installCatalog(Catalog* catalog);

}  // namespace vidora

#pragma once
// The print monitor: the entry table handed to the spooler, its process-wide lock and singletons.

#include <mutex>

#include "port_list.h"
#include "renderer.h"
#include "spooler/monitor_api.h"

namespace pagorix {

// Stores the registry root, loads the port list and returns the filled table.
MONITOREX* InitializeMonitor(LPWSTR registryRoot);

// The singletons, created on first use. Touch them only under MonitorLock().
std::mutex& MonitorLock();
TvpjPortList& PortList();
TvpjRenderer& Renderer();

// Frees the port list and the renderer, as unloading the library does.
void FreeMonitor();

}  // namespace pagorix

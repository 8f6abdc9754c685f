// The one export of libpagorix.so.

#include "monitor.h"

extern "C" __attribute__((visibility("default"))) MONITOREX* InitializePrintMonitor(LPWSTR pRegistryRoot) {
    return pagorix::InitializeMonitor(pRegistryRoot);
}

#pragma once
// The port-monitor interface between our spooler layer and a monitor library, with the spooler
// calls a monitor makes. Wide strings are UTF-16 (char16_t), as the original platform has them;
// structure and pointer sizes are this platform's own.

#include <cstdint>

using BOOL = int32_t;
using DWORD = uint32_t;
using LPDWORD = DWORD*;
using LPBYTE = uint8_t*;
using HANDLE = void*;
using PHANDLE = HANDLE*;
using HWND = void*;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Last-error codes the monitor and the spooler layer report.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_LENGTH = 24;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_BUSY = 170;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_INVALID_PRINTER_NAME = 1801;
constexpr DWORD ERROR_NOT_CONNECTED = 2250;
constexpr DWORD ERROR_INTERNAL_ERROR = 1359;

constexpr DWORD JOB_CONTROL_DELETE = 5;
constexpr DWORD PORT_TYPE_WRITE = 1;

struct PORT_INFO_1W {
    LPWSTR pName;
};

struct PORT_INFO_2W {
    LPWSTR pPortName;
    LPWSTR pMonitorName;
    LPWSTR pDescription;
    DWORD fPortType;
    DWORD Reserved;
};

// DOC_INFO_1 and DOC_INFO_2 share their first member, the document name.
struct DOC_INFO_1W {
    LPWSTR pDocName;
    LPWSTR pOutputFile;
    LPWSTR pDatatype;
};

struct COMMTIMEOUTS_ {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

struct MONITOR;

// The 14 entries, in the order the spooler expects them.
struct MONITOR {
    BOOL (*pfnEnumPorts)(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                         LPDWORD pcReturned);
    BOOL (*pfnOpenPort)(LPWSTR pName, PHANDLE pHandle);
    BOOL (*pfnOpenPortEx)(LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle, MONITOR* pMonitor);
    BOOL (*pfnStartDocPort)(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
    BOOL (*pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
    BOOL (*pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
    BOOL (*pfnEndDocPort)(HANDLE hPort);
    BOOL (*pfnClosePort)(HANDLE hPort);
    BOOL (*pfnAddPort)(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
    BOOL (*pfnAddPortEx)(LPWSTR pName, DWORD Level, LPBYTE lpBuffer, LPWSTR lpMonitorName);
    BOOL (*pfnConfigurePort)(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
    BOOL (*pfnDeletePort)(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
    BOOL (*pfnGetPrinterDataFromPort)(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                      DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                      LPDWORD lpcbReturned);
    BOOL (*pfnSetPortTimeOuts)(HANDLE hPort, COMMTIMEOUTS_* lpCTO, DWORD reserved);
};

struct MONITOREX {
    DWORD dwMonitorSize;  // sizeof(MONITOR)
    MONITOR Monitor;
};

// The one export of a monitor library.
using InitializePrintMonitorFn = MONITOREX* (*)(LPWSTR pRegistryRoot);
constexpr const char* kInitializePrintMonitorName = "InitializePrintMonitor";

// Calls the spooler layer offers a monitor (liborb_spooler.so).
extern "C" {
BOOL OpenPrinterW(LPWSTR pPrinterName, PHANDLE phPrinter, void* pDefault);
BOOL SetJob(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command);
BOOL ClosePrinter(HANDLE hPrinter);
void SetLastError(DWORD code);
DWORD GetLastError();
void OutputDebugStringA(const char* text);
}

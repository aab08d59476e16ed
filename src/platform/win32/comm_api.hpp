#pragma once

#include <windows.h>

namespace dl250t {

// The Win32 calls a serial port is made of, one virtual function each with the
// call's own arguments, so that a test can see exactly what is asked of
// Windows and in which order, and make any call fail.
class CommApi {
public:
    virtual ~CommApi() = default;

    virtual HANDLE createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                              LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                              DWORD flagsAndAttributes, HANDLE templateFile) = 0;
    virtual BOOL getCommState(HANDLE file, LPDCB dcb) = 0;
    virtual BOOL buildCommDcb(LPCWSTR definition, LPDCB dcb) = 0;
    virtual BOOL setCommState(HANDLE file, LPDCB dcb) = 0;
    virtual BOOL setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) = 0;
    virtual BOOL setupComm(HANDLE file, DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL purgeComm(HANDLE file, DWORD flags) = 0;
    virtual BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                           LPOVERLAPPED overlapped) = 0;
    virtual BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                          LPOVERLAPPED overlapped) = 0;
    virtual BOOL closeHandle(HANDLE object) = 0;
};

// The calls themselves.
CommApi& systemCommApi();

}  // namespace dl250t

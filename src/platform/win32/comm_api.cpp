#include "platform/win32/comm_api.hpp"

namespace dl250t {

namespace {

class SystemCommApi final : public CommApi {
public:
    HANDLE createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                      DWORD flagsAndAttributes, HANDLE templateFile) override {
        return CreateFileW(fileName, desiredAccess, shareMode, securityAttributes,
                           creationDisposition, flagsAndAttributes, templateFile);
    }
    BOOL getCommState(HANDLE file, LPDCB dcb) override { return GetCommState(file, dcb); }
    BOOL buildCommDcb(LPCWSTR definition, LPDCB dcb) override {
        return BuildCommDCBW(definition, dcb);
    }
    BOOL setCommState(HANDLE file, LPDCB dcb) override { return SetCommState(file, dcb); }
    BOOL setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) override {
        return SetCommTimeouts(file, timeouts);
    }
    BOOL setupComm(HANDLE file, DWORD inQueue, DWORD outQueue) override {
        return SetupComm(file, inQueue, outQueue);
    }
    BOOL purgeComm(HANDLE file, DWORD flags) override { return PurgeComm(file, flags); }
    BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped) override {
        return WriteFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
    }
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        return ReadFile(file, buffer, bytesToRead, bytesRead, overlapped);
    }
    BOOL closeHandle(HANDLE object) override { return CloseHandle(object); }
};

}  // namespace

CommApi& systemCommApi() {
    static SystemCommApi api;
    return api;
}

}  // namespace dl250t

#include "platform/program_console.hpp"

// windows.h first: shellapi.h builds on its types.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>

#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

// The console's output code page before the program changed it; 0 when the
// program has no console or left it alone.
UINT savedOutputCodePage = 0;

// The arguments as the user typed them, whatever the ANSI code page: from the
// wide command line, not from argv.
std::vector<std::string> wideArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return {argv + (argc > 0 ? 1 : 0), argv + argc};
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        arguments.push_back(wideToUtf8(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

// Binary mode for a standard stream that is there: a program started without
// one must not stop in the C library's check of its argument.
void useBinaryMode(std::FILE* stream, DWORD standardHandle) {
    const HANDLE handle = GetStdHandle(standardHandle);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && _fileno(stream) >= 0) {
        _setmode(_fileno(stream), _O_BINARY);
    }
}

}  // namespace

ProgramConsole::ProgramConsole(int argc, char** argv) : arguments_(wideArguments(argc, argv)) {
    // Bytes pass unchanged: no CR before each LF in what is printed, no
    // end-of-file at a 0x1A in what is read.
    useBinaryMode(stdin, STD_INPUT_HANDLE);
    useBinaryMode(stdout, STD_OUTPUT_HANDLE);
    useBinaryMode(stderr, STD_ERROR_HANDLE);
    // The console shows the UTF-8 the program prints as the characters they are.
    const UINT current = GetConsoleOutputCP();
    if (current != 0 && current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        savedOutputCodePage = current;
    }
}

ProgramConsole::~ProgramConsole() {
    // Everything printed is shown in UTF-8 before the code page goes back.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    if (savedOutputCodePage != 0) {
        SetConsoleOutputCP(savedOutputCodePage);
        savedOutputCodePage = 0;
    }
}

}  // namespace dl250t

// A child that stays alive for the milliseconds given as its one argument
// (1000 when none is given), then exits with 0.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    constexpr DWORD kDefaultMilliseconds = 1000;
    Sleep(argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : kDefaultMilliseconds);
    return 0;
}

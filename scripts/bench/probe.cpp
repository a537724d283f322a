// probe RUNS EXE... : starts each exe in turn, RUNS times, and reports for each the median
// time from CreateProcess to its first visible window with its quartiles (the spread), and
// its median page-file usage once idle.

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

struct Search {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    search->window = window;
    return FALSE;
}

// The value below which that fraction of the values lie.
double Quantile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * (values.size() - 1) + 0.5)];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const int runs = _wtoi(argv[1]);
    const int programs = argc - 2;
    std::vector<std::vector<double>> milliseconds(programs), kilobytes(programs);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    for (int run = 0; run < runs; ++run) {
        for (int p = 0; p < programs; ++p) {
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process{};
            LARGE_INTEGER start, shown;
            QueryPerformanceCounter(&start);
            if (!CreateProcessW(argv[2 + p], nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &process)) {
                fwprintf(stderr, L"cannot start %ls\n", argv[2 + p]);
                return 1;
            }
            Search search{process.dwProcessId, nullptr};
            const ULONGLONG giveUp = GetTickCount64() + 60000;
            while (EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search)) && !search.window) {
                if (GetTickCount64() > giveUp) {
                    fwprintf(stderr, L"%ls showed no window within 60 s\n", argv[2 + p]);
                    return 1;
                }
                Sleep(0);
            }
            QueryPerformanceCounter(&shown);
            milliseconds[p].push_back(1000.0 * (shown.QuadPart - start.QuadPart) /
                                      frequency.QuadPart);

            Sleep(500);  // idle
            PROCESS_MEMORY_COUNTERS memory{};
            memory.cb = sizeof memory;
            GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory);
            kilobytes[p].push_back(memory.PagefileUsage / 1024.0);

            PostMessageW(search.window, WM_CLOSE, 0, 0);
            WaitForSingleObject(process.hProcess, 10000);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    for (int p = 0; p < programs; ++p) {
        wprintf(L"%ls %.1f %.1f %.1f %.0f\n", argv[2 + p], Quantile(milliseconds[p], 0.5),
                Quantile(milliseconds[p], 0.25), Quantile(milliseconds[p], 0.75),
                Quantile(kilobytes[p], 0.5));
    }
    return 0;
}

// The device walk over 1,000, 10,000 and 100,000 simulated devices: time per
// device, and how much memory the walk holds beyond what it started with.
// Each device's identifier lists are freed before the next device is read,
// so the cost should grow linearly and the memory stay flat.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include "devices/device_enumeration.h"
#include "log_directory.h"
#include "simulated_devices.h"

namespace {

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage;
}

SIZE_T g_peak;

}  // namespace

int main()
{
    printf("%10s %14s %16s %22s\n", "devices", "total ms", "ns per device", "extra memory (KiB)");
    for (int count : {1000, 10000, 100000}) {
        SimulatedDevices sim;
        sim.recordCalls = false;
        for (int i = 0; i < count; ++i) {
            const std::wstring n = std::to_wstring(i);
            sim.Add(MultiSz({L"PCI\\VEN_8086&DEV_" + n + L"&SUBSYS_00000000",
                             L"PCI\\VEN_8086&DEV_" + n}),
                    MultiSz({L"PCI\\CC_0300", L"PCI\\CC_03"}));
        }
        sim.Add(MultiSz({L"ROOT\\PinwheelDemo"}));
        // A timed pass, then a pass that samples memory at every property
        // read (sampling is too slow to share a pass with the timing).
        int found = 0;
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        EnumerateDevices(L"ROOT\\PinwheelDemo", &found, &MarkDeviceFound);
        QueryPerformanceCounter(&end);

        const SIZE_T before = PrivateBytes();
        g_peak = before;
        sim.onPropertyRead = [] {
            SIZE_T now = PrivateBytes();
            if (now > g_peak)
                g_peak = now;
        };
        EnumerateDevices(L"ROOT\\PinwheelDemo", nullptr, &MarkDeviceFound);
        const double seconds =
            static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
        printf("%10d %14.1f %16.0f %22.0f%s\n", count, seconds * 1e3, seconds * 1e9 / count,
               (g_peak - before) / 1024.0, found ? "" : "  (device not found!)");
    }
    return 0;
}

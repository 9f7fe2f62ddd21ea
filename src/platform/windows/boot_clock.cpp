#include "platform/boot_clock.h"

#include "platform/windows/windows_api.h"

namespace {

using InterruptTimeReader = void(WINAPI*)(PULONGLONG);

/// The interrupt time to the tenth of a microsecond, which goes on through sleep and hibernation and does not
/// follow the calendar clock. Windows 10 has it in its base library, which every process has loaded; older systems
/// and Wine do not.
InterruptTimeReader preciseInterruptTime()
{
    const HMODULE base = GetModuleHandleW(L"kernelbase.dll");
    if (!base)
        return nullptr;
    return reinterpret_cast<InterruptTimeReader>(
        reinterpret_cast<void*>(GetProcAddress(base, "QueryInterruptTimePrecise")));
}

} // namespace

double BootClock::now() const
{
    static const InterruptTimeReader precise = preciseInterruptTime();
    if (precise) {
        ULONGLONG hundredNanoseconds = 0;
        precise(&hundredNanoseconds);
        return double(hundredNanoseconds) * 1e-7;
    }
    // The same clock to the millisecond.
    return double(GetTickCount64()) * 1e-3;
}

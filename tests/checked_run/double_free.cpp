// Frees a string twice, on purpose: the checked run must report it (checked_run_canary.sh).
#include <windows.h>
#include <oleauto.h>

int main()
{
    BSTR text = SysAllocString(L"freed twice");
    SysFreeString(text);
    // cppcheck-suppress doubleFree ; the fault this program exists to make
    SysFreeString(text);
    return 0;
}

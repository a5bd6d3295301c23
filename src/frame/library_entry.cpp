// Library entry. On ELF platforms the dynamic loader starts and stops the C++
// runtime itself, so there is nothing to do here. On Windows the entry point
// only reports success for every notification; the runtime's own start-up and
// shut-down run around it.
#if defined(_WIN32)
#include <windows.h>

BOOL APIENTRY DllMain(HMODULE, DWORD, LPVOID) { return TRUE; }
#endif

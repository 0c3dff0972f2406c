// A DLL with one export, placed beside the tests, for the DLL-command lookup
// of a DLL in the program's own folder.

extern "C" __declspec(dllexport) int ProbeAnswer() { return 42; }

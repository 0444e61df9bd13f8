// A library that only the test program's folder holds.
extern "C" __declspec(dllexport) int KestrinProbe() { return 936; }

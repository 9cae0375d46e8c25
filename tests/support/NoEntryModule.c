/* A library that loads but has no payment entry point. */
#ifdef _WIN32
__declspec(dllexport) int SomethingElse(void) { return 1; }
#else
__attribute__((visibility("default"))) int SomethingElse(void) { return 1; }
#endif

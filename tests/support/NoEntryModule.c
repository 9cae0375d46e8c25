/* A library that loads but has no payment entry point. */
__attribute__((visibility("default"))) int SomethingElse(void) { return 1; }

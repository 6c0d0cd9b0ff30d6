// Placeholder until the SANE bridge lands.
extern "C" __attribute__((visibility("default"))) int TWAIN_EasyVersion(void) { return 0; }

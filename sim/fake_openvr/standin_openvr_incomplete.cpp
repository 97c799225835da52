// A library that looks like the OpenVR runtime but lacks most of its
// exports: loading it must end in a clean initialisation failure.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) uint32_t VR_InitInternal2(int32_t* error, int32_t, const char*) {
  *error = 0;
  return 1;
}

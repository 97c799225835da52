// The library's only two exports.
#include "driver/ZEMBRAIMUImpl.h"

extern "C" {

ZEMBRAIMU_API ZEMBRA::IZEMBRAIMU* InitDataGlove(ZEMBRA::EIMUError& err, int mode) {
  return new ZEMBRA::ZEMBRAIMUImpl(err, mode, ZEMBRA::tracker::MakeOpenVRRuntime());
}

ZEMBRAIMU_API void UnInit(ZEMBRA::IZEMBRAIMU*& driver) {
  if (!driver) return;
  // Threads a client left running would call the handler being destroyed.
  if (auto* impl = dynamic_cast<ZEMBRA::ZEMBRAIMUImpl*>(driver)) impl->StopLinkThreads();
  driver->UnregisterIMUDataCallback();
  delete driver;
  driver = nullptr;
}
}

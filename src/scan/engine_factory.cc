#include "scan/engine_factory.h"

#include "scan/scan_observer.h"

namespace salvora {

std::unique_ptr<IPhoneRecoveryParse> CreateRecoveryEngine(int kind, const EngineCreators& creators,
                                                          BackupReader* reader) {
  std::unique_ptr<IPhoneRecoveryParse> engine;
  if (kind == ScanSourceDevice) {
    if (creators.device) engine = creators.device();
    // The device engine makes its own backup; it takes no reader and resets its state.
    if (engine) (void)engine->Attach(nullptr);
  } else if (kind == ScanSourceBackup) {
    if (creators.localBackup) engine = creators.localBackup();
    if (engine) (void)engine->Attach(reader);
  }
  return engine;
}

}  // namespace salvora

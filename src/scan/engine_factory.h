// Creating the engine of a scan. The engines live in other folders (the local-backup engine
// in src/backup, the device engine in src/device); the program that links them hands their
// creators to the factory, so this folder depends on neither, and tests pass a fake.
#pragma once

#include <functional>
#include <memory>

#include "core/iphone_recovery_parse.h"

namespace salvora {

class BackupReader;

// Makes a new, unattached engine; nullptr when it cannot.
using EngineCreator = std::function<std::unique_ptr<IPhoneRecoveryParse>()>;

struct EngineCreators {
  EngineCreator device;       // kind 0: CDeviceRecovery
  EngineCreator localBackup;  // kind 1: CLocalBuckupRecovery
};

// Engine kind 0 creates the device engine and attaches it with no reader; kind 1 creates the
// local-backup engine and attaches it to `reader` (not owned; it must outlive the engine).
// Any other kind, a missing creator or a creator that returns nullptr gives nullptr.
[[nodiscard]] std::unique_ptr<IPhoneRecoveryParse> CreateRecoveryEngine(
    int kind, const EngineCreators& creators, BackupReader* reader);

}  // namespace salvora

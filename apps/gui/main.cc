// salvora: the desktop program. Until the windows land it performs the start-up and shutdown
// that do not need them: one instance per machine, the settings and the current language.
#include <cstdio>

#include "core/app_services.h"
#include "core/language_settings.h"
#include "core/text.h"
#include "platform/single_instance_lock.h"

int main() {
  using namespace salvora;
  platform::SingleInstanceLock lock("Global\\Tarnwick_iOS_Recovery_2021_For_Windows");
  if (lock.state() == platform::SingleInstanceLock::State::kHeldElsewhere) {
    std::printf("Free Salvora is running.\n");
    return 0;
  }
  LanguageSettings& settings = LanguageSettings::Get();
  std::printf("%s\nLanguage: %s\nThe windows are not built yet; use salvora-cli.\n",
              Utf16ToUtf8(settings.Text("Messages", "MSG1209")).c_str(),
              settings.CurrentLanguage().c_str());
  RunShutdownCleanup();
  return 0;
}

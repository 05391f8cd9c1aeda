// Small services of the process outside the windows: the program folder, the work folder,
// terminating the players this program started, the first-run report and the clean-up of
// the preview scratch files at shutdown.
#pragma once

#include <filesystem>
#include <string>

namespace salvora {

// The folder of the running executable as text ending in "/" (backslashes turned into "/");
// computed once and cached. Empty when the executable's path cannot be read.
[[nodiscard]] const std::string& GetAppDir();
// Replaces the cached program folder (tests run from another folder than the programs).
void SetAppDirForTesting(const std::string& dir);

// The work folder "TarnwickiOSRecovery" in the roaming application-data folder (not created).
[[nodiscard]] std::filesystem::path WorkFolder();

// Names of the external players a preview may start.
inline constexpr const char* kVideoPlayerName = "Player.exe";
inline constexpr const char* kAudioPlayerName = "Player1.exe";

// Terminates the running processes that this program started under the executable file
// name `name` (exact, letter case matters); other programs of that name are left alone.
// Returns 0.
int KillProcessByName(const std::string& name);

// Makes the install-count report once per user account: when the marker folder
// "viewInstall" in the work folder is missing, sends the report to the configured endpoint
// (none is configured, so nothing is sent) and creates the marker folder. Never fails.
void ReportFirstRun();

// Shutdown: stops both players, then deletes "tmp.jpg", "tmp.wav" and "tmp.avi" in the work
// folder. Missing files are ignored.
void RunShutdownCleanup();

}  // namespace salvora

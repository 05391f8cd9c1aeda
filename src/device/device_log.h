// The few diagnostic lines that the device access writes while it talks to a phone (a
// service that would not start, a file the device could not be sent, the device's own error
// texts). They go to standard output unless a sink is installed; the sink receives each
// formatted line as it stands. Texts that come from the device are only ever passed as
// arguments, never as the format.
#pragma once

#include <string>

namespace salvora {

using DeviceLogSink = void (*)(const std::string& line);

// Replaces the sink (null restores standard output) and returns the previous one.
DeviceLogSink SetDeviceLogSink(DeviceLogSink sink);

// Formats like printf and hands the text to the sink.
void DeviceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace salvora

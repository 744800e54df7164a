#pragma once
// What every platform's entry point does once its devices and sources exist: the recorder's
// start-up from the capture resources on, the loop until quit, and the shutdown with its results.
#include "app/recorder.h"

namespace halvex {

// 0 after a normal run, 1 when start-up failed (its line is logged). Window capture is stopped
// and the screen source closed when it returns; the caller releases the rest.
int RunRecorder(RecorderParts parts);

// Another start of the program asked this one to show itself.
void LogWakeRequest();

}  // namespace halvex

#pragma once

constexpr int kExitSecondInstance = 1;

// True when another copy of the program is running. The first call takes the
// instance guard; later calls in the same process report what it found.
bool AnotherInstanceRunning();

#pragma once

// Asks the system to shrink the process working set to the bounds 50,000 and
// 100,000 bytes, once a batch run has finished; the system's answer is ignored.
void TrimWorkingSet();

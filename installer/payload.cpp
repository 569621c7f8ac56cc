#include "payload.h"

// Not written yet.
int ExtractPayload(HINSTANCE, WORD, const char *, const char *) { return 0; }
void WaitIfPresent(const char *) {}

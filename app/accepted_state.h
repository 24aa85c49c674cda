// The accepted state kept between runs, when the user asks for it: where it
// lives and what the program does with it at start and when the option flips.
#ifndef KEYWARDEN_APP_ACCEPTED_STATE_H
#define KEYWARDEN_APP_ACCEPTED_STATE_H

#include "engine/regwatch.h"

#include <string>

// %LOCALAPPDATA%\Keywarden, not created; empty when it cannot be found.
std::string AppDataFolder();
// <that folder>\<file>, creating the folder; empty when it cannot be found.
std::string AppDataPath(const char* file);

// At start, before the watch thread runs: with RememberBaseline set, the
// saved state becomes the baseline and is kept saved from then on. A saved
// state that is missing or cannot be used is set aside (renamed, never
// deleted), the fresh baseline stands, and the result is 0 so the caller can
// say so; otherwise 1.
int RestoreAcceptedState(RegWatchHandle* watch);

// The option flipped: on saves the present accepted state at once; off stops
// saving and removes the file, which would be stale by the next start.
void RememberAcceptedState(RegWatchHandle* watch, int on);

#endif

#include "ui/app.h"

// Constructed before WinMain: initialises the common controls and the help
// system before any window exists.
App theApp;

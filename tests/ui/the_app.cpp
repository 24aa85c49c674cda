#include "ui/app.h"

// The program defines its own; the framework's tests need one too, and its
// construction is part of what they test.
App theApp;

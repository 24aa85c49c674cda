// Wrappers for the common controls the dialog templates contain. Each is a
// member (or heap object) of its dialog and is bound with Create(parent, id),
// which attaches to the control and subclasses it.
#ifndef KEYWARDEN_UI_CONTROLS_H
#define KEYWARDEN_UI_CONTROLS_H

#include "ui/checkbox.h"
#include "ui/listview.h"
#include "ui/tabcontrol.h"

#endif

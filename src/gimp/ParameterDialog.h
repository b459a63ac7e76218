#pragma once
// The plug-in's dialog in GIMP: the fields, ranges, setup defaults and fixed
// scales of the Windows dialog, each field judged by the engine's own rules
// as it is typed (formulas too), unaccepted text in dark red and OK only
// while every field is accepted; above them the best quality for
// photographs, which brings its own values and greys out the setup and the
// switches.
#include "fractal_interpolation.h"

namespace fi::gimp {

// Shows the dialog over Settings, which it changes as the user edits; true
// when the user pressed OK.
bool RunParameterDialog(fi_settings* Settings);

} // namespace fi::gimp

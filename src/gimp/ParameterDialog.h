#pragma once
// The plug-in's dialog in GIMP: the fields, ranges, setup defaults and fixed
// scales of the Windows dialog, each field judged by the engine's own rules
// as it is typed (formulas too), unaccepted text in dark red and OK only
// while every field is accepted.
#include "fractal_interpolation.h"

namespace fi::gimp {

// Shows the dialog over Settings, which it changes as the user edits; true
// when the user pressed OK.
bool RunParameterDialog(fi_settings* Settings);

} // namespace fi::gimp

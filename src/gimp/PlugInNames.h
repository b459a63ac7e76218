#pragma once
// The names GIMP knows the plug-in by.

namespace fi::gimp {

inline constexpr const char* ProcedureName = "plug-in-fractal-interpolation";
inline constexpr const char* PlugInBinary = "fractal-interpolation";

} // namespace fi::gimp

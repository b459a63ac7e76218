#pragma once
// The whole GIMP image enlarged as Scale Image resizes it: the canvas, every
// layer with its mask and offset, the channels and the selection, each
// drawable through the engine by the settings' scale, and the paths.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "fractal_interpolation.h"

namespace fi::gimp {

// A failure of the run with the engine's status and message.
class EEnlargement : public std::runtime_error {
public:
    EEnlargement(fi_status Code, const std::string& Message) : std::runtime_error(Message), Status(Code) {}
    fi_status Status;
};

// Refuses what the engine does not take before anything is changed (an
// indexed image, a result beyond GIMP's size limit); then enlarges as one
// undo step with progress in GIMP's progress bar. 8-bit colour goes the
// bitmap way through the brightness and colour-difference planes, deeper
// samples the float way channel by channel; alpha is a plane of its own.
// The best quality takes deeper colour as three planes too, on the scale
// of 8-bit samples.
void EnlargeImage(std::int32_t Image, fi_settings* Settings);

} // namespace fi::gimp

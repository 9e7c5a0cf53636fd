// Puts the annotation canvas into service: every tile binds an AnnotationCanvas after each load,
// and the first ruler after the calibration is armed opens CalibrateDialog. Called once, when the
// tile grid is created. Sits in the canvas layer.
#pragma once

namespace velmora {

class TileWindow;

void InstallAnnotationCanvas();

// The prompt the tile runs on the left-button release that finds calibration pending: when that
// release finished a ruler of some length, CalibrateDialog asks for its length in millimetres;
// OK removes the reference ruler, sets the scale and repaints the tile. A ruler without length
// keeps calibration pending for the next one; any other release ends it without a prompt.
void PromptCalibration(TileWindow& tile);

} // namespace velmora

// The program-wide record objects of the data store, created once and kept for the
// whole run.
#pragma once

#include "CClinicCode.h"
#include "CMaster.h"
#include "CNextAutoNumber.h"
#include "CPatient.h"

namespace kvr {

CClinicCode& TheClinicCode();
CPatient& ThePatient();
CNextAutoNumber& TheNextAutoNumber();
CMaster& TheMaster();

// Puts the four objects back into their initial state (tests, program restart).
void ResetDataObjects();

} // namespace kvr

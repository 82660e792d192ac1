// Additional-information records for tests and benchmarks.
#pragma once

#include "tools/CPatientAdd.h"

namespace kvr::test {

// The shortest record of a case patient that passes every completeness rule.
inline CPatientAdd MinimalCompleteRecord(int id) {
    CPatientAdd r;
    r.ClearBuffer();
    r.ID = id;
    r.BirthDay = "1970/05/01";
    r.Sex = 1;
    r.ChiefComplaint2 = "0100000000";
    r.SmokingHistory = 0;
    r.MedicalHistory = 0;
    r.Ingestion = 0;
    r.MissingToothNum = 2;
    r.KvrDiagnosis = 2;
    r.PerioSurgeryTreatment = 0;
    return r;
}

} // namespace kvr::test

#include "DataObjects.h"

#include "RecordUtil.h"
#include "data/ADODBMain.h"

namespace kvr {

namespace {

struct Objects {
    CClinicCode clinicCode;
    CPatient patient;
    CNextAutoNumber nextAutoNumber;
    CMaster master;
};

Objects& objects() {
    static Objects o;
    return o;
}

} // namespace

CClinicCode& TheClinicCode() {
    return objects().clinicCode;
}
CPatient& ThePatient() {
    return objects().patient;
}
CNextAutoNumber& TheNextAutoNumber() {
    return objects().nextAutoNumber;
}
CMaster& TheMaster() {
    return objects().master;
}

void ResetDataObjects() {
    objects() = Objects();
}

MemberDbUse::MemberDbUse() {
    OpenMemberDb();
}
MemberDbUse::~MemberDbUse() {
    CloseMemberDb();
}

} // namespace kvr

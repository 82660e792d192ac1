#include "ExamObjects.h"

namespace kvr {

namespace {
struct Objects {
    std::array<CExamData, kExamSlots> examSlots;
    std::array<CSubExam, 4> items;
    std::array<CToothPosition, 4> cursors;
    CCharge charge;
    CExamData examData;
};
Objects& objects() {
    static Objects o;
    return o;
}
} // namespace

std::array<CExamData, kExamSlots>& ExamSlots() {
    return objects().examSlots;
}
std::array<CSubExam, 4>& SubExams() {
    return objects().items;
}
std::array<CToothPosition, 4>& ToothCursors() {
    return objects().cursors;
}
CCharge& TheCharge() {
    return objects().charge;
}
CExamData& TheExamData() {
    return objects().examData;
}

void ResetExamObjects() {
    objects() = Objects();
}

} // namespace kvr

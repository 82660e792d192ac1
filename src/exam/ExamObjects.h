// The program-wide objects of the examination on screen, created at start-up and
// shared by the entry screen and the chart screen.
#pragma once

#include "exam/CCharge.h"
#include "exam/CExamData.h"
#include "exam/CSubExam.h"
#include "exam/CToothPosition.h"

#include <array>

namespace kvr {

// Slots 0-3: the four item rows in display order; 9 and 10: bleeding and pus marks.
inline constexpr int kExamSlots = 12;
inline constexpr int kBleedingSlot = 9;
inline constexpr int kPusSlot = 10;

std::array<CExamData, kExamSlots>& ExamSlots();
// The item definitions of the entry screen's four rows (display rows 1-4).
std::array<CSubExam, 4>& SubExams();
// One entry cursor per displayed item row.
std::array<CToothPosition, 4>& ToothCursors();
// The current staff record.
CCharge& TheCharge();
// The working examination record.
CExamData& TheExamData();

// Clears every object (tests).
void ResetExamObjects();

} // namespace kvr

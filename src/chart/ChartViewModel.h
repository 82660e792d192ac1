// What the chart screen shows for one patient, without the screen: the case number,
// the list of registered examinations, the four stage slots and, from them, the texts
// of the figure table, the mobility labels, the tooth status and furcation values each
// pair of stages shows, and the points of the pocket-depth graphs.
//
// Pairs: pair 0 holds slots 0 and 1 ("初診時", "基本治療終了時"), pair 1 slots 2 and 3
// ("ＳＰＴ移行時", "最新ＳＰＴ時"). Where a tooth status or a furcation value could come
// from either stage of a pair, the upper pair takes it from slot 0 and the lower pair
// from slot 3, falling back on the other slot when the preferred one has no data.
#pragma once

#include "chart/ChartStats.h"
#include "chart/SheetFigures.h"

#include <QString>
#include <QStringList>

#include <array>

namespace kvr {

using ChartStages = std::array<ChartStageData, 4>;

// The patient shown on the chart screen.
struct ChartPatientData {
    int patientId = 0;
    QString caseNumber;  // as stored, empty without a patient record
    QStringList entries; // "yyyy/MM/dd" + two blanks + stage name, by stage, then date
    ChartStages stages;  // slot names are set even without data
};

// Reads the case number, the examination list and the four stage slots of a patient
// from the member database (chart stage types: TComType rows with ID > 0 and DR set, in
// ID order, the first four). Database errors show the "[Error:" Retry/Cancel box; false
// when the user cancelled (data then holds what was read before the error).
bool LoadChartPatient(int patientId, ChartPatientData& data);
// The same from any open database; errors are thrown as RuntimeError.
void LoadChartPatient(const db::ConnectionPtr& conn, int patientId, ChartPatientData& data);

// The two slots of a pair and the slot whose tooth status and furcation values it shows.
inline int firstSlotOfPair(int pair) {
    return pair * 2;
}
int PrioritySlot(const ChartStages& stages, int pair);

// Tooth status words a pair shows (all teeth present when neither slot has data).
std::array<std::uint16_t, 32> PairToothStatus(const ChartStages& stages, int pair);

// The mobility label of a tooth: first-stage value + "→" + second-stage value, a side
// without a value empty; empty when neither stage has a value.
QString MobilityText(const ChartStages& stages, int pair, int tooth);
// The mobility headings of the pairs: "初→基", "S→最".
QString MobilityHeading(int pair);
// The priority notes under the pairs.
QString PriorityNote(int pair);

// True when a sheet can be printed: the chart sheet needs data in any slot, the data
// sheet in slot 0 or slot 1.
bool ChartSheetPrintable(const ChartStages& stages);
bool DataSheetPrintable(const ChartStages& stages);

} // namespace kvr

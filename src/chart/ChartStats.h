// Figures of one examination stage for the chart screen and the two sheets:
// present teeth, implants, pocket-depth count, mean and bands, bleeding on
// probing, plaque control record (O'Leary), and the periodontal epithelial and
// inflamed surface areas (PESA, PISA). Everything is computed on demand from a
// ChartStageData record; nothing is stored.
//
// In every byte array 128 means "no value". Sites are tooth index * 6 + site index.
#pragma once

#include "platform/database.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>

namespace kvr {

using SiteBytes = std::array<std::uint8_t, 192>;
using ToothBytes = std::array<std::uint8_t, 32>;
using ToothAreas = std::array<double, 33>; // 0..31 per tooth, 32 the sum

// One examination stage as the chart part holds it.
struct ChartStageData {
    bool HasData = false;
    std::array<std::uint16_t, 32> ToothStatus{};
    SiteBytes Ppd;
    ToothBytes Mobility;
    SiteBytes Furcation;
    ToothBytes Plaque;
    ToothBytes PlaqueItemB;
    SiteBytes Bop;
    SiteBytes Pus;
    QDateTime ExamDate;
    QString StageName;

    ChartStageData() { clear(); }
    // No data: HasData false, status words 0, every byte 128 (name and date kept).
    void clear();
};

// Loads the earliest examination of a stage (TExamData.CommentID = stageCode) of a
// patient into the slot: rows 9 and 10 give Bop and Pus; other rows fill by item
// number (1 Mobility, 2 Ppd, 3 Plaque and PlaqueItemB, 13 Furcation) and give the
// status words; then Bop and Pus are cleared wherever Ppd has no value. Returns
// HasData. Database errors are raised as kvr::RuntimeError to the caller.
bool LoadChartStage(db::ConnectionPtr conn, int patientId, int stageCode, ChartStageData& slot);

// True when none of the missing-tooth, pontic and implant flags is set.
bool IsRemainingTooth(std::uint16_t status);
// Present-tooth test: the slot has data and the tooth is a remaining tooth.
bool IsPresentTooth(const ChartStageData& slot, int tooth);
// Counted-tooth test: a remaining tooth, or with includeImplants also an implant.
bool IsCountedTooth(const ChartStageData& slot, int tooth, bool includeImplants = false);

int PresentToothCount(const ChartStageData& slot);
int ImplantCount(const ChartStageData& slot);
// "現在歯数" and "ｲﾝﾌﾟﾗﾝﾄ数" texts; empty for a slot without data.
QString PresentToothText(const ChartStageData& slot);
QString ImplantText(const ChartStageData& slot);

// Depths of the counted teeth (implants excluded), 128 everywhere else.
SiteBytes PocketDepthInput(const ChartStageData& slot);
// Bop byte at every counted-tooth site with a measured depth, 0 elsewhere.
SiteBytes BleedingInput(const ChartStageData& slot);

// Counts the measured sites, their mean and the three bands below lower, from
// lower to upper - 1 and from upper on. Style 0 labelled, 1 one line, 2 two lines.
// All five texts are cleared first; with no measured site only the total is set.
// Returns the number of measured sites.
qint16 SummarizePocketDepths(const SiteBytes& depths, qint16 lower, qint16 upper, int style, QString& total,
                             QString& mean, QString& low, QString& middle, QString& high);

// Band headings for the limits G0, G1, G2: data sheet "1-3mm", "4-6mm", "7mm以上";
// chart screen (chartScreen true) with "㎜" and "㎜以上".
std::array<QString, 3> BandHeadings(int g0, int g1, int g2, bool chartScreen);

// Bleeding-on-probing text, "12 (12.5%)"; empty with no measured site or no data.
QString BopText(const ChartStageData& slot);
// Plaque control record, "25.0%"; "0%" with no examined tooth; empty with no data.
QString PcrText(const ChartStageData& slot);

// PESA and PISA per tooth and their sums (element 32). Each site's depth counts at
// most 12 mm; x = sum / 6 always; third molars give x itself as PESA.
bool CalcPisa(const SiteBytes& depths, const SiteBytes& bleeding, ToothAreas& pesa, ToothAreas& pisa);
// A PESA/PISA sum right-aligned in six characters ("  12.3"; longer texts keep
// their last six characters).
QString PisaSumText(double sum);

// Initial-examination case criterion over the patient's stored pocket-depth row of
// stage 1: pct = share of measured sites of 4 mm or more ("0.0"), count = sites of
// 6 mm or more. Returns false (criterion met) only when pct >= 30.0 and count >= 3.
bool CheckInitialCaseCriteria(db::ConnectionPtr conn, int patientId, QString& pctText, QString& countText);

// True when the patient has stage 3 and stage 4 examinations and the stage-4 date
// is earlier than the stage-3 date plus six calendar months.
bool CheckStagePeriod(db::ConnectionPtr conn, int patientId);

} // namespace kvr

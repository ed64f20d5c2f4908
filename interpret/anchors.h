#pragma once
// Where the interpretation writes on page 1, in page percent. They sit inside the cells of
// the result panels: a single-figure panel takes its figure at (x, y), its aim one row
// lower at (x, y + kAimStep) and its rating at (x + d, ry).
namespace ovista::anchors {

inline constexpr double kAimStep = 2.2;
inline constexpr double kFigureSize = 9;

struct Figure {
    double x;
    double y;
    double d;   // rating x offset
    double ry;  // rating y
};

// Section 1, overall performance (the split layout has three narrower panels).
inline constexpr Figure kIcr6wk{17, 26, 21.5, 27.2};
inline constexpr Figure kIcr6wkSplit{13.3, 26, 15, 27.2};
inline constexpr Figure kNicr{64.8, 26, 21.5, 27.2};
inline constexpr Figure kNicrSplit{44.7, 26, 15, 27.2};
inline constexpr Figure kSplitNicr{75.9, 26, 15, 27.2};
inline constexpr Figure kIcr100d{17, 26, 21.5, 27.2};
inline constexpr Figure kNicr200d{64.8, 26, 21.5, 27.2};

// Section 2, drivers.
inline constexpr Figure kSr3wk{14, 49.9, 14.4, 51.2};
inline constexpr Figure kSr80d{14, 49.9, 14.4, 51.2};
inline constexpr Figure kNrr{45.2, 49.9, 14.4, 51.2};
inline constexpr Figure kCr{76.5, 49.9, 14.4, 51.2};

// Section 3, key indicators: seasonal and split herds.
inline constexpr Figure kHeatDetection{14, 77.3, 14.5, 78.5};
// Performance after week 6: the expected rate stands at kAfterWeek6ExpectedY, not one aim step down.
inline constexpr Figure kAfterWeek6{76.5, 79.5, 14.5, 80.5};
inline constexpr double kAfterWeek6ExpectedY = 81.7;

// Section 3: year-round herds. The waiting period takes three lines: figure, aim, "*estimated".
inline constexpr Figure kVwp{15, 65.2, 13.2, 66.3};
inline constexpr double kVwpNoteY = 69.6;
inline constexpr Figure kMatureSr80d{46.5, 65.2, 13.2, 66.5};
inline constexpr Figure kReturnIntervals{77.5, 65.2, 13.2, 66.5};

// Week columns of the calving-pattern panels: label at (x - 0.3, kWeekLabelY), figure at
// (x + 0.3, kWeekFigureY), aim at (x + 0.3, kWeekAimY), stars centred on (x + starDx, kWeekStarsY).
inline constexpr double kFirstCalverWeekX[2] = {16.1, 24};
inline constexpr double kHerdWeekX[3] = {75.2, 82.4, 89.8};
inline constexpr double kWeekLabelY = 63.1;
inline constexpr double kWeekFigureY = 65.3;
inline constexpr double kWeekAimY = 67.5;
inline constexpr double kWeekStarsY = 69.9;
inline constexpr double kFirstCalverStarsDx = 2.6;
inline constexpr double kHerdStarsDx = 2.5;

// First calver milk: three columns (first calvers, mature cows, ratio); labels at y, yields
// one row lower, the aim under the ratio, the stars at (third column + 2, starsY).
struct MilkColumns {
    double x[3];
    double y;
    double starsY;
};
inline constexpr MilkColumns kMilkSeasonal{{43, 50, 59}, 63.1, 69.9};
inline constexpr MilkColumns kMilkYearRound{{15, 26, 39}, 76.1, 83};
inline constexpr double kMilkStarsDx = 2;

// AI practice: one narrow column per technician, the first at (x, y); rows "Tech.",
// "No. of insems" and "Conc. rate" step by kAimStep. pitch is the narrow cell width (0.23 of
// the panel's width) plus the gap between cells: the narrowest gap in a third-width panel,
// the widest in a half-width one.
struct TechnicianColumns {
    double x;
    double y;
    double pitch;
};
inline constexpr TechnicianColumns kTechniciansSeasonal{45, 77.3, 0.23 * 29.6 + 0.2};
inline constexpr TechnicianColumns kTechniciansYearRound{64, 76.1, 0.23 * 44.25 + 1.0};

// Induced cows box: the herd's share, then three week columns.
inline constexpr double kInducedX = 86;
inline constexpr double kInducedY = 88.6;
inline constexpr double kInducedWeekX[3] = {75, 82.3, 89.6};
inline constexpr double kInducedLabelY = 90.8;
inline constexpr double kInducedFigureY = 92.9;

}  // namespace ovista::anchors

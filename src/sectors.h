// The 17-segment model of the left ventricle, in one place: the angle
// constants, each sector's ring, angular range, names, label offset and
// coronary territory, and the bit masks the evaluation selects sectors with.
// Read by the polar map and the result pictures, the evaluation, the label
// offsets, the hover texts and the exports.
//
// Angles are radians, counter-clockwise from the direction of increasing
// column, on pictures whose rows count upwards. Every constant is a multiple
// of pi taken as 3.14159265 and held in double precision, exactly as written:
// the single-precision angle of the left radius lies just above PI, which puts
// that radius in the lower-left sectors (3, 9). Do not "improve" them.
#ifndef VESMORA_SECTORS_H
#define VESMORA_SECTORS_H

// --- angle constants -----------------------------------------------------------------------
constexpr double PI = 3.14159265;
constexpr double TWO_PI = 6.2831853;  // negative angles are raised by this while below 0
constexpr double HALF_PI = 1.570796325;
constexpr double PI_3 = 1.04719755, PI2_3 = 2.0943951, PI4_3 = 4.1887902, PI5_3 = 5.23598775;
constexpr double PI_4 = 0.7853981625, PI3_4 = 2.3561944875, PI5_4 = 3.9269908125, PI7_4 = 5.4977871375;
constexpr double PI_6 = 0.523598775, PI5_6 = 2.617993875;  // the diagonal label directions
// The ray angles of the evaluation and the outline points of the views take pi
// as 3.1415: some pixels are reached only with it.
constexpr double PI_SHORT = 3.1415;

// --- sectors -------------------------------------------------------------------------------------
constexpr int SECTOR_COUNT = 17;  // numbered 1..17; entry 0 of every per-sector table carries none

enum SectorRing { RING_NONE, RING_BASAL, RING_MID, RING_APICAL, RING_APEX };
enum Territory { TERR_NONE, TERR_LAD, TERR_RCA, TERR_LCX };

struct SectorInfo {
    SectorRing ring;
    const char* shown;    // the name as the hover text shows it (Latin-1)
    const char* name_fr;  // French name for reports (Latin-1)
    const char* name_en;  // English name for reports
    Territory territory;  // the coronary artery that usually feeds it
    // Label offset from the bull's-eye centre in screen pixels (x right, y down):
    // on an axis the whole numbers (dx, dy); on a diagonal (radius > 0) the
    // offset is radius x cos and sin of angle, each truncated toward zero.
    int dx, dy;
    double radius, angle;
};

// Radii of the diagonal labels: basal and mid ring (the axis ones sit at 157, 112 and 67).
constexpr double LABEL_RADIUS_BASAL = 157.5, LABEL_RADIUS_MID = 112.5;

inline constexpr SectorInfo SECTORS[SECTOR_COUNT + 1] = {
    {RING_NONE, "", "", "", TERR_NONE, 0, 0, 0, 0},
    {RING_BASAL, "Basal - anterior", "Ant\xE9rieur basal", "Basal anterior", TERR_LAD, 0, -157, 0, 0},
    {RING_BASAL, "Basal - anteroseptal", "Ant\xE9roseptal basal", "Basal anteroseptal", TERR_LAD, 0, 0,
     LABEL_RADIUS_BASAL, -PI5_6},
    {RING_BASAL, "Basal - inferoseptal", "Inf\xE9roseptal basal", "Basal inferoseptal", TERR_RCA, 0, 0,
     LABEL_RADIUS_BASAL, PI5_6},
    {RING_BASAL, "Basal - inferior", "Inf\xE9rieur basal", "Basal inferior", TERR_RCA, 0, 157, 0, 0},
    {RING_BASAL, "Basal - inferolateral", "Inf\xE9rolat\xE9ral basal", "Basal inferolateral", TERR_LCX, 0, 0,
     LABEL_RADIUS_BASAL, PI_6},
    {RING_BASAL, "Basal - anterolateral", "Ant\xE9rolat\xE9ral basal", "Basal anterolateral", TERR_LCX, 0, 0,
     LABEL_RADIUS_BASAL, -PI_6},
    {RING_MID, "Mid - anterior", "Ant\xE9rieur m\xE9" "dian", "Mid anterior", TERR_LAD, 0, -112, 0, 0},
    {RING_MID, "Mid - anteroseptal", "Ant\xE9roseptal m\xE9" "dian", "Mid anteroseptal", TERR_LAD, 0, 0,
     LABEL_RADIUS_MID, -PI5_6},
    {RING_MID, "Mid - inferoseptal", "Inf\xE9roseptal m\xE9" "dian", "Mid inferoseptal", TERR_RCA, 0, 0,
     LABEL_RADIUS_MID, PI5_6},
    {RING_MID, "Mid - inferior", "Inf\xE9rieur m\xE9" "dian", "Mid inferior", TERR_RCA, 0, 112, 0, 0},
    {RING_MID, "Mid - inferolateral", "Inf\xE9rolat\xE9ral m\xE9" "dian", "Mid inferolateral", TERR_LCX, 0, 0,
     LABEL_RADIUS_MID, PI_6},
    {RING_MID, "Mid - anterolateral", "Ant\xE9rolat\xE9ral m\xE9" "dian", "Mid anterolateral", TERR_LCX, 0, 0,
     LABEL_RADIUS_MID, -PI_6},
    {RING_APICAL, "Apical - anterior", "Ant\xE9rieur apical", "Apical anterior", TERR_LAD, 0, -67, 0, 0},
    {RING_APICAL, "Apical - septal", "Septal apical", "Apical septal", TERR_LAD, -67, 0, 0, 0},
    {RING_APICAL, "Apical - inferior", "Inf\xE9rieur apical", "Apical inferior", TERR_RCA, 0, 67, 0, 0},
    {RING_APICAL, "Apical - lateral", "Lat\xE9ral apical", "Apical lateral", TERR_LCX, 67, 0, 0, 0},
    {RING_APEX, "Apex", "Apex", "Apex", TERR_LAD, 0, 0, 0, 0},
};

constexpr const char* TERRITORY_NAME[4] = {"", "LAD", "RCA", "LCx"};

// Hover text of sector n, filled with its score and its rounded percentage (" % )"
// is appended): "Secteur n (<shown name>)\nScore %d  ( %d", with one blank
// fewer before the parenthesis for sector 1 only.
inline constexpr const char* SECTOR_FORMAT[SECTOR_COUNT + 1] = {
    "",
    "Secteur 1 (Basal - anterior)\nScore %d ( %d",
    "Secteur 2 (Basal - anteroseptal)\nScore %d  ( %d",
    "Secteur 3 (Basal - inferoseptal)\nScore %d  ( %d",
    "Secteur 4 (Basal - inferior)\nScore %d  ( %d",
    "Secteur 5 (Basal - inferolateral)\nScore %d  ( %d",
    "Secteur 6 (Basal - anterolateral)\nScore %d  ( %d",
    "Secteur 7 (Mid - anterior)\nScore %d  ( %d",
    "Secteur 8 (Mid - anteroseptal)\nScore %d  ( %d",
    "Secteur 9 (Mid - inferoseptal)\nScore %d  ( %d",
    "Secteur 10 (Mid - inferior)\nScore %d  ( %d",
    "Secteur 11 (Mid - inferolateral)\nScore %d  ( %d",
    "Secteur 12 (Mid - anterolateral)\nScore %d  ( %d",
    "Secteur 13 (Apical - anterior)\nScore %d  ( %d",
    "Secteur 14 (Apical - septal)\nScore %d  ( %d",
    "Secteur 15 (Apical - inferior)\nScore %d  ( %d",
    "Secteur 16 (Apical - lateral)\nScore %d  ( %d",
    "Secteur 17 (Apex)\nScore %d  ( %d",
};

// --- angular layout ---------------------------------------------------------------------------
// The six angular ranges of the basal and mid rings, from angle 0 upwards, and the
// basal sector of each (the mid one is six more): 0..pi/3 is 6, pi/3..2pi/3 is 1, ...
constexpr double SIX_LO[6] = {0, PI_3, PI2_3, PI, PI4_3, PI5_3};
constexpr double SIX_HI[6] = {PI_3, PI2_3, PI, PI4_3, PI5_3, TWO_PI};
constexpr int SIX_BASAL[6] = {6, 1, 2, 3, 4, 5};
// The apical ring: 13 up (pi/4..3pi/4), 14 left, 15 down, 16 every other angle (right).

// --- sector masks: bit n stands for sector n ------------------------------------------------------
constexpr unsigned BASAL_BITS = 0x7Eu;      // 1..6
constexpr unsigned MID_BITS = 0x1F80u;      // 7..12
constexpr unsigned APICAL_BITS = 0x1E000u;  // 13..16
constexpr unsigned APEX_BIT = 1u << 17;

#endif

// The Calibration page's table commands without their dialogs: each moves
// one kind of correction table between a file, the viewer's copy and the
// camera, and says how it went in the viewer's words ("Gamma upload
// complete"). The viewer and qdxctl share them. Qt-free; any one thread at a
// time (they only call the library, which is thread-safe, and touch the
// tables they are given).
#pragma once

#include <string>

#include "Calibration.h"
#include "core/files/GammaFile.h"
#include "core/model/DpTable.h"
#include "core/model/FpnTable.h"

namespace qdx::viewer {

struct TableOutcome {
    bool ok = false;
    const char* message = "";  // the text of the message box
    std::string why;           // a file's failure: its path and the reason ("PATH: not a regular file")
};

// Gamma: the three tables from a file into the camera; the camera's three
// into a file (nothing written when a table cannot be read); the camera's
// tables into the FX2 EEPROM; the linear curve into the camera. Each stops at
// the first failure, leaving the tables before it written.
TableOutcome gammaUpload(const std::string& path);
TableOutcome gammaDownload(const std::string& path);
// The same without the file, for a caller that reads or checks it first.
TableOutcome gammaSend(const GammaTables& tables);
TableOutcome gammaReceive(GammaTables& tables);
TableOutcome gammaSave();
TableOutcome gammaClear();

// Defect pixels, table kind: the viewer's copy into the camera; the camera's
// into the copy (which a failure may leave partly replaced); the camera's
// into the CIS EEPROM; an empty table into the copy and the camera.
TableOutcome dpUpload(DefectKind kind, const DpTable& table);
TableOutcome dpDownload(DefectKind kind, DpTable& table);
TableOutcome dpSave(DefectKind kind);
TableOutcome dpClear(DefectKind kind, DpTable& table);

// Fixed-pattern noise, likewise; download and clear set the mean to 0. Save
// stores the camera's table with the camera's current RAW gain, and nothing
// when either cannot be read.
TableOutcome fpnUpload(const FpnTable& table);
TableOutcome fpnDownload(FpnTable& table);
TableOutcome fpnSave();
TableOutcome fpnClear(FpnTable& table);

}  // namespace qdx::viewer

#include "TableCommands.h"

#include <memory>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

constexpr const char* kGammaUploadError[kGammaTables] = {"Gamma(0) upload error", "Gamma(1) upload error",
                                                         "Gamma(2) upload error"};
constexpr const char* kGammaDownloadError[kGammaTables] = {"Gamma(0) download error", "Gamma(1) download error",
                                                           "Gamma(2) download error"};

TableOutcome outcome(bool ok, const char* success, const char* failure)
{
    return {ok, ok ? success : failure, {}};
}

// Sends the three tables in order; the index of the first that failed, or -1.
int sendGamma(const GammaTables& tables)
{
    for (int t = 0; t < kGammaTables; ++t)
        if (QDX_Set_Gamma_Table(t, tables[static_cast<std::size_t>(t)].data()) != QDX_OK)
            return t;
    return -1;
}

}  // namespace

TableOutcome gammaSend(const GammaTables& tables)
{
    const int failed = sendGamma(tables);
    return failed < 0 ? TableOutcome{true, "Gamma upload complete", {}}
                      : TableOutcome{false, kGammaUploadError[failed], {}};
}

TableOutcome gammaReceive(GammaTables& tables)
{
    for (int t = 0; t < kGammaTables; ++t)
        if (QDX_Get_Gamma_Table(t, tables[static_cast<std::size_t>(t)].data()) != QDX_OK)
            return {false, kGammaDownloadError[t], {}};
    return {true, "Gamma download complete", {}};
}

TableOutcome gammaUpload(const std::string& path)
{
    const auto tables = std::make_unique<GammaTables>();
    if (std::string why; !readGammaFile(path, *tables, why))
        return {false, "Gamma upload load error", why};
    return gammaSend(*tables);
}

TableOutcome gammaDownload(const std::string& path)
{
    const auto tables = std::make_unique<GammaTables>();
    if (TableOutcome received = gammaReceive(*tables); !received.ok)
        return received;
    if (std::string why; !writeGammaFile(path, *tables, why))
        return {false, "Gamma download save error", why};
    return {true, "Gamma download complete", {}};
}

TableOutcome gammaSave()
{
    std::array<uint8_t, kGammaTableBytes> table{};
    bool ok = true;
    for (int t = 0; t < kGammaTables && ok; ++t)
        ok = QDX_Get_Gamma_Table(t, table.data()) == QDX_OK && QDX_Save_Gamma_Table(t, table.data()) == QDX_OK;
    return outcome(ok, "Gamma save complete", "Gamma save error");
}

TableOutcome gammaClear()
{
    const auto tables = std::make_unique<GammaTables>(identityGamma());
    return outcome(sendGamma(*tables) < 0, "Gamma clear complete", "Gamma clear error");
}

TableOutcome dpUpload(DefectKind kind, const DpTable& table)
{
    return outcome(QDX_Set_DP_Table(static_cast<int>(kind), table.bytes().data()) == QDX_OK,
                   "Defect Pixel Table upload complete", "Defect Pixel Table upload error");
}

TableOutcome dpDownload(DefectKind kind, DpTable& table)
{
    return outcome(QDX_Get_DP_Table(static_cast<int>(kind), table.bytes().data()) == QDX_OK,
                   "Defect Pixel Table download complete", "Defect Pixel Table download error");
}

TableOutcome dpSave(DefectKind kind)
{
    DpTable camera;
    if (QDX_Get_DP_Table(static_cast<int>(kind), camera.bytes().data()) != QDX_OK)
        return {false, "Defect Pixel Table read error", {}};
    return outcome(QDX_Save_CIS_DP_Table(static_cast<int>(kind), camera.bytes().data()) == QDX_OK,
                   "Defect Pixel Table save complete", "Defect Pixel Table save error");
}

TableOutcome dpClear(DefectKind kind, DpTable& table)
{
    table.clear();
    return outcome(QDX_Set_DP_Table(static_cast<int>(kind), table.bytes().data()) == QDX_OK,
                   "Defect Pixel Table clear complete", "Defect Pixel Table clear error");
}

TableOutcome fpnUpload(const FpnTable& table)
{
    return outcome(QDX_Set_FPN_Table(table.bytes().data()) == QDX_OK, "FPN Table upload complete",
                   "FPN Table upload error");
}

TableOutcome fpnDownload(FpnTable& table)
{
    const bool ok = QDX_Get_FPN_Table(table.bytes().data()) == QDX_OK;
    table.mean = 0;
    return outcome(ok, "FPN Table download complete", "FPN Table download error");
}

TableOutcome fpnSave()
{
    const auto camera = std::make_unique<FpnTable>();
    // The gain is stored with the table as the one it was taken at: a gain
    // that cannot be read would store a wrong one, so nothing is saved then.
    int gain = 0;
    if (QDX_Get_FPN_Table(camera->bytes().data()) != QDX_OK || QDX_Get_RawGain(&gain) != QDX_OK)
        return {false, "FPN Table read error", {}};
    return outcome(QDX_Save_CIS_FPN_Table(camera->bytes().data(), gain) == QDX_OK, "FPN Table save complete",
                   "FPN Table save error");
}

TableOutcome fpnClear(FpnTable& table)
{
    table.clear();
    return outcome(QDX_Set_FPN_Table(table.bytes().data()) == QDX_OK, "FPN Table clear complete",
                   "FPN Table clear error");
}

}  // namespace qdx::viewer

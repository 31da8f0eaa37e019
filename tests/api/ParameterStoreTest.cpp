// The parameter store in the simulated camera's EEPROMs.
#include <algorithm>
#include <cstring>
#include <string>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

std::vector<uint8_t> simMemory(int type, unsigned address, int length)
{
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    QDXSim_ReadMemory(type, address, length, bytes.data());
    return bytes;
}

int countRequests(const std::vector<Packet>& log, uint8_t bRequest)
{
    int n = 0;
    for (const auto& packet : log)
        n += packet.bRequest == bRequest ? 1 : 0;
    return n;
}

using ParameterStoreTest = SimCameraTest;

// Guards restoring garbage into the camera from a never-written EEPROM.
TEST_F(ParameterStoreTest, BlankEepromIsRefusedWithoutTouchingTheCamera)
{
    startConnected();
    const int before = QDXSim_GetRequestCount(-1);
    EXPECT_EQ(QDX_Load_Param(0), 2);
    EXPECT_EQ(QDX_Load_Default_Param(0), 2);
    EXPECT_EQ(countRequests(requestsSince(before), 0x19), 0);
}

// Guards the block layout: header, then 0xFFFF for registers never touched.
TEST_F(ParameterStoreTest, SaveRightAfterInitStoresTheEmptyShadow)
{
    startConnected();
    ASSERT_EQ(QDX_Save_Param(0), 0);
    const auto block = simMemory(0, 0x4000, 256);
    const uint8_t header[9] = {'Q', 'D', 'X', 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(block.data(), header, 9), 0);
    for (std::size_t i = 9; i < 256; ++i)
        ASSERT_EQ(block[i], 0xFF) << "byte " << i;
}

// Guards which calls enter the shadow: shadowed registers on success only.
TEST_F(ParameterStoreTest, ShadowTakesSuccessfulShadowedCallsOnly)
{
    startConnected();
    ASSERT_EQ(QDX_Set_Gamma(2), 0);
    ASSERT_EQ(QDX_Set_AWB(1), 0);
    ASSERT_EQ(QDX_Set_DP_Corr(1), 0);
    QDXSim_FailRequests(0x19, 1);
    EXPECT_EQ(QDX_Set_BlackLevel(9), 1);
    QDXSim_SetRegister(QDX_REG_EXPOSURE_TIME, 0x0123, 0);
    int exposure = 0;
    ASSERT_EQ(QDX_Get_ExposureTime(&exposure), 0);
    ASSERT_EQ(QDX_Save_Default_Param(0), 0);
    const auto block = simMemory(0, 0x6000, 256);
    const auto at = [](int r) { return static_cast<std::size_t>(64 + 2 * r); };
    EXPECT_EQ(at(QDX_REG_GAMMA), 130u) << "the block's register images start at 64";
    EXPECT_EQ(block[at(QDX_REG_GAMMA)], 0x00);
    EXPECT_EQ(block[at(QDX_REG_GAMMA) + 1], 0x02) << "gamma 2";
    EXPECT_EQ(block[at(QDX_REG_AWB)], 0xFF) << "AWB never enters the shadow";
    EXPECT_EQ(block[at(QDX_REG_DP_CORR)], 0xFF) << "DP correction never enters the shadow";
    EXPECT_EQ(block[at(QDX_REG_BLACK_LEVEL)], 0xFF) << "a failed write leaves the shadow";
    EXPECT_EQ(block[at(QDX_REG_EXPOSURE_TIME)], 0x01) << "a successful read enters the shadow";
    EXPECT_EQ(block[at(QDX_REG_EXPOSURE_TIME) + 1], 0x23);
}

// Guards the restore: 35 register writes in the camera's order, each with
// the stored value.
TEST_F(ParameterStoreTest, LoadWritesThirtyFiveRegistersInOrder)
{
    startConnected();
    const int order[] = {
        QDX_REG_CONTROL_MODE,    QDX_REG_ALC,             QDX_REG_BLACK_LEVEL,     QDX_REG_EXPOSURE_TIME,
        QDX_REG_RAW_GAIN,        QDX_REG_HYSTERESIS_B2,   QDX_REG_HYSTERESIS_B1,   QDX_REG_HYSTERESIS_A2,
        QDX_REG_HYSTERESIS_A1,   QDX_REG_CONTROL_TARGET,  QDX_REG_CONTROL_SPEED,   QDX_REG_CONTROL_AREA1,
        QDX_REG_CONTROL_AREA2,   QDX_REG_RED_GAIN,        QDX_REG_BLUE_GAIN,       QDX_REG_COLOR_MATRIX_RR,
        QDX_REG_COLOR_MATRIX_RG, QDX_REG_COLOR_MATRIX_RB, QDX_REG_COLOR_MATRIX_GR, QDX_REG_COLOR_MATRIX_GG,
        QDX_REG_COLOR_MATRIX_GB, QDX_REG_COLOR_MATRIX_BR, QDX_REG_COLOR_MATRIX_BG, QDX_REG_COLOR_MATRIX_BB,
        QDX_REG_Y_GAIN,          QDX_REG_CB_GAIN,         QDX_REG_CR_GAIN,         QDX_REG_GAMMA,
        QDX_REG_IMAGE_FLIP,      QDX_REG_IMAGE_ROTATION,  QDX_REG_DVI_IMAGE_SIZE,  QDX_REG_NOISE_REDUCTION,
        QDX_REG_EDGE_ENHANCEMENT, QDX_REG_VFPN_CORR,      QDX_REG_CIS_CLOCK_PHASE};
    for (int r : order)
        QDXSim_SetRegister(r, 0x100 + r, 0);
    // Read them all so the shadow holds them, then save.
    for (int r : order) {
        uint8_t bytes[2];
        ASSERT_EQ(QDX_DeviceRead(0, r, 2, bytes), 0);
    }
    int v = 0;
    QDX_Get_ControlMode(0, &v);
    QDX_Get_ControlMode(1, &v);
    QDX_Get_BlackLevel(&v);
    QDX_Get_ExposureTime(&v);
    QDX_Get_RawGain(&v);
    QDX_Get_ControlTarget(&v);
    for (int i = 0; i < 4; ++i)
        QDX_Get_Hysteresis(i, &v);
    QDX_Get_ControlSpeed(&v);
    QDX_Get_ControlMonitor(0, &v);
    QDX_Get_ControlMonitor(1, &v);
    QDX_Get_GainRB(0, &v);
    QDX_Get_GainRB(1, &v);
    for (int i = 0; i < 9; ++i)
        QDX_Get_ColorMatrix(i, &v);
    for (int i = 0; i < 3; ++i)
        QDX_Get_GainYC(i, &v);
    QDX_Get_Gamma(&v);
    QDX_Get_ImageFlip(&v);
    QDX_Get_ImageRotation(&v);
    QDX_Get_DVIImageSize(&v);
    QDX_Get_NoiseReduction(&v);
    QDX_Get_EdgeEnhancement(&v);
    QDX_Get_VFPN_Corr(&v);
    QDX_Get_CIS_ClockPhase(&v);
    ASSERT_EQ(QDX_Save_Param(0), 0);

    for (int r : order)
        QDXSim_SetRegister(r, 0, 0);
    const int before = QDXSim_GetRequestCount(-1);
    ASSERT_EQ(QDX_Load_Param(0), 0);
    std::vector<int> written;
    for (const auto& packet : requestsSince(before))
        if (packet.bRequest == 0x19)
            written.push_back(packet.wIndex);
    EXPECT_EQ(written, std::vector<int>(std::begin(order), std::end(order)));
    for (int r : order)
        EXPECT_EQ(simRegister(r), 0x100 + r) << "register " << r;
}

// Guards the count of failed writes as the result, with the sequence going on.
TEST_F(ParameterStoreTest, OneRefusedWriteCountsOneAfterAllAttempts)
{
    startConnected();
    ASSERT_EQ(QDX_Save_Param(0), 0);
    const int before = QDXSim_GetRequestCount(0x19);
    QDXSim_FailRequestsAfter(0x19, 10, 1);
    EXPECT_EQ(QDX_Load_Param(0), 1);
    EXPECT_EQ(QDXSim_GetRequestCount(0x19) - before, 35);
}

struct HeaderCase {
    int offset;
    uint8_t value;
    int expected;
};

class HeaderTest : public SimCameraTest, public ::testing::WithParamInterface<HeaderCase> {};

// Guards each header check with its own result, and the shadow untouched.
TEST_P(HeaderTest, RefusesABadHeader)
{
    startConnected();
    ASSERT_EQ(QDX_Save_Param(0), 0);
    const uint8_t bad = GetParam().value;
    QDXSim_WriteMemory(0, 0x4000 + static_cast<unsigned>(GetParam().offset), 1, &bad);
    const int writes = QDXSim_GetRequestCount(0x19);
    EXPECT_EQ(QDX_Load_Param(0), GetParam().expected);
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), writes);
    int state = -1;
    ASSERT_EQ(QDX_Check_Param(QDX_PARAM_SAVED, &state), QDX_OK);
    EXPECT_EQ(state, GetParam().expected) << "the check tells what the load found";
}

INSTANTIATE_TEST_SUITE_P(Fields, HeaderTest,
                         ::testing::Values(HeaderCase{0, 'X', 2}, HeaderCase{3, 1, 2}, HeaderCase{4, 2, 3},
                                           HeaderCase{5, 1, 4}));

TEST_F(ParameterStoreTest, ClearedDefaultIsRefused)
{
    startConnected();
    int state = -1;
    ASSERT_EQ(QDX_Save_Default_Param(0), 0);
    ASSERT_EQ(QDX_Check_Param(QDX_PARAM_DEFAULT, &state), QDX_OK);
    EXPECT_EQ(state, QDX_OK);
    ASSERT_EQ(QDX_Load_Default_Param(0), 0);
    ASSERT_EQ(QDX_Clear_Default_Param(0), 0);
    EXPECT_EQ(QDX_Load_Default_Param(0), 2);
    ASSERT_EQ(QDX_Check_Param(QDX_PARAM_DEFAULT, &state), QDX_OK);
    EXPECT_EQ(state, QDX_ERR_BAD_MAGIC);
    ASSERT_EQ(QDX_Check_Param(QDX_PARAM_SAVED, &state), QDX_OK);
    EXPECT_EQ(state, QDX_ERR_BAD_MAGIC) << "the saved block, never written, is apart";
    EXPECT_EQ(simMemory(0, 0x6000, 10), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF}))
        << "six bytes zeroed, the rest of the block as saved";
}

// Guards the stored-block check against writing anything, taking another
// block or a null state, and reporting a failed read as a state.
TEST_F(ParameterStoreTest, CheckParamOnlyReads)
{
    startConnected();
    const int before = QDXSim_GetRequestCount(-1);
    int state = 77;
    EXPECT_EQ(QDX_Check_Param(QDX_PARAM_SAVED, nullptr), QDX_ERR_ARGUMENT);
    EXPECT_EQ(QDX_Check_Param(2, &state), QDX_ERR_ARGUMENT);
    EXPECT_EQ(QDXSim_GetRequestCount(-1), before) << "nothing is sent for a bad argument";
    QDXSim_FailRequests(0x16, 1);
    EXPECT_EQ(QDX_Check_Param(QDX_PARAM_SAVED, &state), QDX_ERR_TRANSFER);
    EXPECT_EQ(state, 77);
    EXPECT_EQ(QDX_Check_Param(QDX_PARAM_SAVED, &state), QDX_OK);
    EXPECT_EQ(state, QDX_ERR_BAD_MAGIC);
    const auto sent = requestsSince(before);
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_EQ(countRequests(sent, 0x16), 2) << "memory reads only";
}

// Guards a read failing half-way: 5, and nothing restored.
TEST_F(ParameterStoreTest, ReadFailureDuringLoadChangesNothing)
{
    startConnected();
    ASSERT_EQ(QDX_Save_Param(0), 0);
    const int writes = QDXSim_GetRequestCount(0x19);
    QDXSim_FailRequestsAfter(0x16, 2, 1);
    EXPECT_EQ(QDX_Load_Param(0), 5);
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), writes);
}

// Guards the ready wait: a memory busy for a while is waited for (the save
// goes through), one stuck busy fails the save with 6 instead of hanging the
// caller, and nothing is written to it.
TEST_F(ParameterStoreTest, BusyMemoryIsWaitedForAndAStuckOneFails)
{
    startConnected();
    QDXSim_SetMemoryState(0, 1, 20);
    const int statusReads = QDXSim_GetRequestCount(0x12);
    EXPECT_EQ(QDX_Save_Param(0), 0);
    EXPECT_GT(QDXSim_GetRequestCount(0x12) - statusReads, 20) << "the busy memory was not waited for";

    QDXSim_SetMemoryState(0, 1, -1);
    QDXSim_SetMemoryState(1, 1, -1);
    const int writes = QDXSim_GetRequestCount(0x17);
    EXPECT_EQ(QDX_Save_Param(0), 6);
    const uint8_t serial[14] = {};
    EXPECT_EQ(QDX_Save_CIS_SerialNo(serial), 1);
    EXPECT_EQ(QDX_Init_CISFlash(1), 1);
    EXPECT_EQ(QDXSim_GetRequestCount(0x17), writes) << "a busy memory was written";
}

// Guards against the ready wait polling the status without pause: over USB
// every poll is a control transfer, and a save spun thousands of them per
// page. A 50 ms write cycle leaves room for about 250 unpaced polls (each
// takes the simulated bus 100 us) and 57 paced ones; sleeping longer on a
// loaded machine only makes fewer.
TEST_F(ParameterStoreTest, ReadyWaitPacesItsStatusReads)
{
    startConnected();
    QDXSim_SetEepromWriteTime(50000);
    const int statusReads = QDXSim_GetRequestCount(QDX_REQUEST_DEVICE_STATUS);
    const int pages = QDXSim_GetRequestCount(QDX_REQUEST_MEMORY_WRITE);
    ASSERT_EQ(QDX_Save_Param(0), 0);
    const int written = QDXSim_GetRequestCount(QDX_REQUEST_MEMORY_WRITE) - pages;
    ASSERT_GT(written, 1);
    // The first page finds the memory ready; each later one waits a cycle.
    EXPECT_LE(QDXSim_GetRequestCount(QDX_REQUEST_DEVICE_STATUS) - statusReads, 1 + (written - 1) * 70);
}

TEST_F(ParameterStoreTest, MemoryErrorOrNoCameraIsNotReady)
{
    startConnected();
    QDXSim_SetMemoryState(0, 2, 1);
    EXPECT_EQ(QDX_Save_Param(0), 6);
    std::vector<uint8_t> gamma(8192, 1);
    QDXSim_FailRequests(0x17, 1);
    EXPECT_EQ(QDX_Save_Gamma_Table(0, gamma.data()), 7);
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([] { return status() == 0; }));
    EXPECT_EQ(QDX_Save_Param(0), 6);
    EXPECT_EQ(QDX_Clear_Default_Param(0), 6);
    EXPECT_EQ(QDX_Load_Param(0), 1);
    EXPECT_EQ(QDX_Load_Gamma_Table(0, gamma.data()), 5);
}

// Guards the gamma store's placement and the page-wise write with ready waits.
TEST_F(ParameterStoreTest, GammaTablesRoundTripThroughTheEeprom)
{
    startConnected();
    std::vector<uint8_t> a(8192), b(8192);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<uint8_t>(i);
        b[i] = static_cast<uint8_t>(255 - i % 251);
    }
    const int writes = QDXSim_GetRequestCount(0x17);
    const int statusReads = QDXSim_GetRequestCount(0x12);
    ASSERT_EQ(QDX_Save_Gamma_Table(5, a.data()), 0);
    EXPECT_EQ(QDXSim_GetRequestCount(0x17) - writes, 128);
    EXPECT_GE(QDXSim_GetRequestCount(0x12) - statusReads, 128) << "a ready wait before every page";
    EXPECT_EQ(simMemory(0, 0x8000, 8192), a) << "index 5 is stored like index 0";
    ASSERT_EQ(QDX_Save_Gamma_Table(2, b.data()), 0);
    EXPECT_EQ(simMemory(0, 0xC000, 8192), b);
    std::vector<uint8_t> back(8192);
    ASSERT_EQ(QDX_Load_Gamma_Table(0, back.data()), 0);
    EXPECT_EQ(back, a);
}

using CisStoreTest = SimCameraTest;

TEST_F(CisStoreTest, CheckReportsAbsentBlankAndValid)
{
    startConnected();
    int state = -1;
    ASSERT_EQ(QDX_Check_CISFlash(&state), 0);
    EXPECT_EQ(state, 1) << "blank CIS EEPROM";
    ASSERT_EQ(QDX_Init_CISFlash(1), 0);
    ASSERT_EQ(QDX_Check_CISFlash(&state), 0);
    EXPECT_EQ(state, 2);
    QDXSim_SetCisPresent(0);
    ASSERT_EQ(QDX_Check_CISFlash(&state), 0);
    EXPECT_EQ(state, 0);
    int connected = -1;
    ASSERT_EQ(QDX_Get_CIS_Connect(&connected), 0);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(QDX_Check_CISFlash(nullptr), -1);
    QDXSim_FailRequests(0x12, 1);
    EXPECT_EQ(QDX_Check_CISFlash(&state), -2);
}

// Guards a full initialisation: empty serial number, empty defect tables,
// zero FPN table with the camera's current raw gain.
TEST_F(CisStoreTest, FullInitialisationClearsEverything)
{
    startConnected();
    std::vector<uint8_t> junk(0x16200, 0x5A);
    QDXSim_WriteMemory(1, 0, static_cast<int>(junk.size()), junk.data());
    ASSERT_EQ(QDX_Set_RawGain(40), 0);
    ASSERT_EQ(QDX_Init_CISFlash(0), 0);

    EXPECT_EQ(simMemory(1, 0, 6), (std::vector<uint8_t>{'Q', 'D', 'X', 0, 1, 0}));
    EXPECT_EQ(simMemory(1, 0x10, 14), std::vector<uint8_t>(14, 0));
    std::vector<uint8_t> emptyDp(256);
    for (std::size_t i = 0; i < 256; i += 2) {
        emptyDp[i] = 0x01;
        emptyDp[i + 1] = 0xFF;
    }
    EXPECT_EQ(simMemory(1, 0x200, 256), emptyDp);
    EXPECT_EQ(simMemory(1, 0x300, 256), emptyDp);
    EXPECT_EQ(simMemory(1, 0x2000, 82416), std::vector<uint8_t>(82416, 0));
    EXPECT_EQ(simMemory(1, 0x28, 2), (std::vector<uint8_t>{0, 40}));

    std::vector<uint8_t> fpn(82416, 1);
    int gain = -1;
    ASSERT_EQ(QDX_Load_CIS_FPN_Table(fpn.data(), &gain), 0);
    EXPECT_EQ(gain, 40);
    EXPECT_EQ(fpn, std::vector<uint8_t>(82416, 0));
}

TEST_F(CisStoreTest, TablesAndSerialNumberRoundTrip)
{
    startConnected();
    std::vector<uint8_t> fpn(82416);
    for (std::size_t i = 0; i < fpn.size(); ++i)
        fpn[i] = static_cast<uint8_t>(i % 13);
    ASSERT_EQ(QDX_Save_CIS_FPN_Table(fpn.data(), 0x1234), 0);
    EXPECT_EQ(simMemory(1, 0x28, 2), (std::vector<uint8_t>{0x12, 0x34}));
    std::vector<uint8_t> back(82416);
    int gain = 0;
    ASSERT_EQ(QDX_Load_CIS_FPN_Table(back.data(), &gain), 0);
    EXPECT_EQ(back, fpn);
    EXPECT_EQ(gain, 0x1234);

    const uint8_t serial[14] = {'S', 'N', '-', '0', '0', '4', '2', '-', 'A', 'B', 'C', 'D', 'E', 'F'};
    ASSERT_EQ(QDX_Save_CIS_SerialNo(serial), 0);
    uint8_t read[15] = {};
    ASSERT_EQ(QDX_Load_CIS_SerialNo(read), 0);
    EXPECT_EQ(std::memcmp(read, serial, 14), 0);
    EXPECT_EQ(read[14], 0) << "exactly 14 bytes";

    std::vector<uint8_t> dp(256, 0x42);
    ASSERT_EQ(QDX_Save_CIS_DP_Table(1, dp.data()), 0);
    EXPECT_EQ(simMemory(1, 0x300, 256), dp);
    std::vector<uint8_t> dpBack(256);
    ASSERT_EQ(QDX_Load_CIS_DP_Table(3, dpBack.data()), 0);
    EXPECT_EQ(simMemory(1, 0x200, 256), dpBack) << "index 3 reads table 0";
}

// Guards the order of checks: the whole table is read before a null gain
// pointer is refused.
TEST_F(CisStoreTest, NullGainReadsTheTableThenRefuses)
{
    startConnected();
    std::vector<uint8_t> fpn(82416, 9);
    const int reads = QDXSim_GetRequestCount(0x16);
    EXPECT_EQ(QDX_Load_CIS_FPN_Table(fpn.data(), nullptr), -1);
    EXPECT_EQ(QDXSim_GetRequestCount(0x16) - reads, 1288);
    EXPECT_EQ(fpn, std::vector<uint8_t>(82416, 0xFF)) << "the blank EEPROM's table";
}

// The next memory write fails after `completed` have passed: a save cut
// short there, as a failed transfer, a power cut or a killed host ends it.
void cutSaveAfter(int completed)
{
    QDXSim_FailRequestsAfter(0x17, completed, 1);
}

struct BlockStore {
    const char* name;
    unsigned address;
    int (*save)(int);
    int (*load)(int);
};

void PrintTo(const BlockStore& store, std::ostream* os)
{
    *os << store.name;
}

class InterruptedBlockSaveTest : public SimCameraTest, public ::testing::WithParamInterface<BlockStore> {};

// Guards a parameter save cut short at any page loading as a good block: the
// load must find no block and leave the camera alone, unless the save was cut
// before it changed a byte, and a whole save must still store the old layout.
TEST_P(InterruptedBlockSaveTest, LoadFindsNoBlockUnlessNothingWasWritten)
{
    startConnected();
    const BlockStore store = GetParam();
    ASSERT_EQ(QDX_Set_ExposureTime(111), 0);
    ASSERT_EQ(store.save(0), 0);
    const std::vector<uint8_t> oldBlock = simMemory(QDX_MEMORY_FX2, store.address, 256);
    // What a whole save of exposure 222 stores: header, three zeros, 0xFF up
    // to the registers at 64, the exposure big-endian, 0xFFFF for the rest.
    std::vector<uint8_t> newBlock(256, 0xFF);
    const uint8_t head[9] = {'Q', 'D', 'X', 0, 1, 0, 0, 0, 0};
    std::copy(std::begin(head), std::end(head), newBlock.begin());
    newBlock[64 + 2 * QDX_REG_EXPOSURE_TIME] = 0x00;
    newBlock[64 + 2 * QDX_REG_EXPOSURE_TIME + 1] = 222;

    for (const auto& before : {std::vector<uint8_t>(256, 0xFF), oldBlock}) {
        int completed = 0;
        for (;; ++completed) {
            ASSERT_LT(completed, 16) << "the save never completed";
            QDXSim_WriteMemory(QDX_MEMORY_FX2, store.address, 256, before.data());
            ASSERT_EQ(QDX_Set_ExposureTime(222), 0);
            cutSaveAfter(completed);
            const int saved = store.save(0);
            QDXSim_FailRequests(0x17, 0);
            if (saved == QDX_OK)
                break;
            ASSERT_EQ(saved, QDX_ERR_WRITE);

            QDXSim_SetRegister(QDX_REG_EXPOSURE_TIME, 0x333, 0);
            const int registerWrites = QDXSim_GetRequestCount(0x19);
            const int loaded = store.load(0);
            if (simMemory(QDX_MEMORY_FX2, store.address, 256) == before && before == oldBlock) {
                EXPECT_EQ(loaded, QDX_OK) << "the old block, untouched, after " << completed << " page writes";
                continue;
            }
            EXPECT_TRUE(loaded == QDX_ERR_BAD_MAGIC || loaded == QDX_ERR_BAD_STATE)
                << "load gave " << loaded << " after " << completed << " page writes";
            EXPECT_EQ(QDXSim_GetRequestCount(0x19), registerWrites) << "after " << completed << " page writes";
            EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 0x333);
        }
        EXPECT_GE(completed, 4) << "a block spans four pages";
        EXPECT_EQ(simMemory(QDX_MEMORY_FX2, store.address, 256), newBlock);
        QDXSim_SetRegister(QDX_REG_EXPOSURE_TIME, 0, 0);
        EXPECT_EQ(store.load(0), QDX_OK);
        EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 222);
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, InterruptedBlockSaveTest,
                         ::testing::Values(BlockStore{"Saved", 0x4000, QDX_Save_Param, QDX_Load_Param},
                                           BlockStore{"Default", 0x6000, QDX_Save_Default_Param,
                                                      QDX_Load_Default_Param}),
                         [](const auto& instance) { return std::string(instance.param.name); });

// Guards a sensor-head initialisation cut short reading as valid: unless the
// memory is as it was, the check must report it invalid. The cuts fall in
// each part: header, serial number, both defect tables, the FPN table (its
// pages all alike, so two of them), its gain and whatever follows.
TEST_F(CisStoreTest, InterruptedInitialisationIsNotValid)
{
    startConnected();
    QDXSim_SetEepromWriteTime(0);
    constexpr int kUsed = 0x2000 + 82416;
    std::vector<uint8_t> before(kUsed, 0x5A);
    const uint8_t header[6] = {'Q', 'D', 'X', 0, 1, 0};
    std::copy(std::begin(header), std::end(header), before.begin());

    for (int completed : {0, 1, 2, 5, 6, 9, 10, 700, 1297, 1298, 1299}) {
        QDXSim_WriteMemory(QDX_MEMORY_CIS, 0, kUsed, before.data());
        cutSaveAfter(completed);
        const int result = QDX_Init_CISFlash(0);
        QDXSim_FailRequests(0x17, 0);
        if (result == QDX_OK)
            break;
        int state = -1;
        ASSERT_EQ(QDX_Check_CISFlash(&state), QDX_OK);
        const bool untouched = simMemory(QDX_MEMORY_CIS, 0, kUsed) == before;
        EXPECT_EQ(state, untouched ? QDX_CIS_FLASH_VALID : QDX_CIS_FLASH_INVALID)
            << "after " << completed << " page writes";
    }
    ASSERT_EQ(QDX_Init_CISFlash(0), QDX_OK);
    int state = -1;
    ASSERT_EQ(QDX_Check_CISFlash(&state), QDX_OK);
    EXPECT_EQ(state, QDX_CIS_FLASH_VALID);
    EXPECT_EQ(simMemory(QDX_MEMORY_CIS, 0, 6), std::vector<uint8_t>(std::begin(header), std::end(header)));
}

// Guards settings surviving a restart of the library, as they would a
// restart of the program with the camera's EEPROM kept.
TEST_F(ParameterStoreTest, SavedSettingsSurviveARestart)
{
    startConnected();
    ASSERT_EQ(QDX_Set_ExposureTime(222), 0);
    ASSERT_EQ(QDX_Save_Param(0), 0);
    ASSERT_EQ(QDX_Term(), 0);
    QDXSim_SetPlugged(0, 0);
    QDXSim_SetPlugged(0, 1);  // power cycle: the FPGA forgets, the EEPROM keeps
    EXPECT_NE(simRegister(QDX_REG_EXPOSURE_TIME), 222);
    startConnected();
    ASSERT_EQ(QDX_Load_Param(0), 0);
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 222);
}

}  // namespace
}  // namespace qdx::test

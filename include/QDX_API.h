/**
 * @file QDX_API.h
 * @brief QDX camera access library: the public C interface.
 *
 * The library finds the camera among the machine's USB devices (or the
 * simulated camera when the environment variable QDX_CAMERA is "sim"), keeps
 * its frames flowing on threads of its own, and gives access to the camera's
 * status records, I2C bus, memories and FPGA registers.
 *
 * Every function returns a 32-bit int: QDX_OK (0) on success,
 * QDX_ERR_TRANSFER (1) when no camera is open or a transfer failed,
 * QDX_ERR_ARGUMENT (-1) for an invalid argument (null output pointer, length
 * out of range); some add codes of their own. Getters leave their output
 * unchanged on failure. No function lets an exception or a signal of its own
 * reach the caller: running out of memory or threads inside one is reported
 * as its failure code.
 * There is one camera and one frame ring per process; every function may be
 * called from any thread unless its comment says otherwise.
 */
#ifndef QDX_API_H
#define QDX_API_H

#include <stdint.h>

/**
 * The interface this header declares, apart from the library's own version
 * (QDX_GetVersion). Within major version 1 interfaces only grow: MINOR counts
 * the additions (2: QDX_GetFrameEx), so a program built against 1.N runs with
 * any library of 1.N or later.
 */
#define QDX_API_VERSION_MAJOR 1
#define QDX_API_VERSION_MINOR 2
#define QDX_API_VERSION_PATCH 0
#define QDX_API_VERSION_ENCODE(major, minor, patch) (((major) << 16) | ((minor) << 8) | (patch))
#define QDX_API_VERSION QDX_API_VERSION_ENCODE(QDX_API_VERSION_MAJOR, QDX_API_VERSION_MINOR, QDX_API_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QDX_BUILDING_LIBRARY)
#define QDX_EXPORT __attribute__((visibility("default")))
#else
#define QDX_EXPORT
#endif

/** Opaque handle; QDX_GetDataSemaphoHandle hands out a POSIX sem_t* as one. */
typedef void* QDX_HANDLE;

/**
 * Result codes. One enum, so that C++ callers may mix them in one expression;
 * codes of different functions share values.
 */
enum {
    QDX_OK = 0,             /**< Success. */
    QDX_ERR_TRANSFER = 1,   /**< No camera is open, or a transfer failed. */
    QDX_ERR_ARGUMENT = -1,  /**< Invalid argument: null pointer, index or length out of range. */

    QDX_FRAME_REPEATED = 1, /**< QDX_GetFrame: the frame is the one the previous call returned. */
    QDX_ERR_NO_FRAME = -1,  /**< QDX_GetFrame: no frame since the camera was (re)connected, or no library running. */

    /* Parameter store, see there. */
    QDX_ERR_BAD_MAGIC = 2,   /**< The stored magic is not "QDX\0". */
    QDX_ERR_BAD_VERSION = 3, /**< The stored format version is not 1. */
    QDX_ERR_BAD_STATE = 4,   /**< The stored state byte is not 0. */
    QDX_ERR_READ = 5,        /**< A read of the stored data failed. */
    QDX_ERR_NOT_READY = 6,   /**< The memory did not become ready. */
    QDX_ERR_WRITE = 7,       /**< A write failed. */
    QDX_ERR_RESOURCES = 8,   /**< QDX_Init: the memory or a thread the library needs could not be had; nothing runs. */
    QDX_ERR_CIS_CHECK = -2   /**< QDX_Check_CISFlash: the status record or the CIS header could not be read. */
};

/* ---- Lifecycle and device status ------------------------------------- */

/**
 * Starts the library: its connection thread looks for the camera every 50 ms
 * and opens it when it appears. Returns at once, camera or not. Calling it on
 * a running library changes nothing. Call QDX_Init and QDX_Term from one
 * thread, never concurrently. Returns QDX_OK, or QDX_ERR_RESOURCES when the
 * frame ring or a thread could not be had: the library then stays stopped
 * (every other call fails as without a camera) and a later QDX_Init may
 * succeed.
 */
QDX_EXPORT int QDX_Init(void);

/**
 * Stops the library and waits until its threads have ended and its buffers
 * are freed. The data semaphore is destroyed: no thread may still wait on it.
 * Returns QDX_OK, also when the library was not running.
 */
QDX_EXPORT int QDX_Term(void);

/**
 * Stores the library's version as major << 24 | minor << 16 | build << 8 |
 * revision (0x01010000 for 1.1.0.0); 0 before the first QDX_Init.
 * Returns QDX_OK, or QDX_ERR_ARGUMENT for a null pointer.
 */
QDX_EXPORT int QDX_GetVersion(unsigned int* version);

/**
 * Reads the 48-byte device information record (firmware major and minor
 * version in bytes 2 and 3) and copies min(length, 48) bytes of it.
 */
QDX_EXPORT int QDX_GetDevInfo(unsigned int length, unsigned char* buffer);

/** Reads the 8-byte format information record of format (formatIndex & 1); copies min(length, 8) bytes. */
QDX_EXPORT int QDX_GetDevFormatInfo(int formatIndex, unsigned int length, unsigned char* buffer);

/**
 * Reads the 16-byte device status record (byte 1 data format, bytes 3 and 4
 * memory states of the FX2 and CIS EEPROMs, bytes 10..15 change mask) and
 * copies min(length, 16) bytes. The change mask is merged into the sticky mask
 * that QDX_GetFpgaStatus hands out.
 */
QDX_EXPORT int QDX_GetDevStatus(unsigned int length, unsigned char* buffer);

/** Sends the 3-byte device control record (recordIndex & 7). Record 2 selects the data format: 0x00, format, 0x00. */
QDX_EXPORT int QDX_SetDevStatus(int recordIndex, const unsigned char* record);

/**
 * Reads a fresh status record, then copies min(length, 6) bytes of the sticky
 * change mask (byte i bit j: FPGA register 8i + j was changed by the camera
 * itself since the last call) and clears all six bytes. The mask survives
 * camera disconnections. Returns QDX_OK, QDX_ERR_ARGUMENT for a null mask,
 * QDX_ERR_TRANSFER when the status read failed (the mask is then neither
 * copied nor cleared).
 */
QDX_EXPORT int QDX_GetFpgaStatus(unsigned int length, unsigned char* mask);

/** Reasons in QDX_DEVICE_PROBLEM. */
enum {
    QDX_DEVICE_PROBLEM_NONE = 0,       /**< No camera is present that could not be opened. */
    QDX_DEVICE_PROBLEM_PERMISSION = 1, /**< The device node may not be opened (no udev rule, not in its group). */
    QDX_DEVICE_PROBLEM_BUSY = 2,       /**< Another program holds the camera's interface. */
    QDX_DEVICE_PROBLEM_OTHER = 3       /**< Opening or setting up the camera failed for another reason. */
};

/** A camera that is present but could not be opened; filled by QDX_GetDeviceProblem. */
struct QDX_DEVICE_PROBLEM {
    int reason;                  /**< QDX_DEVICE_PROBLEM_*. */
    int busNumber;               /**< USB bus number, 1..255 (0: the simulated camera). */
    int deviceAddress;           /**< USB device address on that bus, 1..127. */
    unsigned short vendorId;     /**< USB vendor ID (lsusb's vvvv). */
    unsigned short productId;    /**< USB product ID (lsusb's pppp). */
    char devicePath[32];         /**< The device node, "/dev/bus/usb/BBB/DDD"; "" for the simulated camera. */
};

/**
 * Tells "present but not accessible" from "absent". While the library runs
 * and no camera is open, and a camera on the bus (known by its ID in
 * QDX_USB_IDS or the built-in list, or by the device-interface GUID in its
 * descriptors) failed to open at two attempts in a row (the library tries
 * every 50 ms), fills *problem with the reason and where the device sits.
 * Otherwise (a camera is open, none is found, the library is not running)
 * reason is QDX_DEVICE_PROBLEM_NONE, the numbers 0 and the path "". A camera
 * known only by its GUID that may not be opened at all cannot be recognised,
 * so it reads as absent: name its IDs in QDX_USB_IDS. Nothing else changes:
 * QDX_GetStatus reads 0 and requests fail with QDX_ERR_TRANSFER as before.
 * Returns QDX_OK, QDX_ERR_ARGUMENT for a null pointer.
 */
QDX_EXPORT int QDX_GetDeviceProblem(struct QDX_DEVICE_PROBLEM* problem);

/* ---- Frame streaming --------------------------------------------------- */

/**
 * Frame layout: 404 x 404 pixels, each pixel pair four 16-bit little-endian
 * words Cb Y0 Cr Y1 with 12-bit values left-justified. A whole frame is
 * QDX_FRAME_BYTES long; its first two and last two words are marker words.
 */
enum {
    QDX_FRAME_WIDTH = 404,
    QDX_FRAME_HEIGHT = 404,
    QDX_FRAME_BYTES = QDX_FRAME_WIDTH * QDX_FRAME_HEIGHT * 4, /**< 652,864: two words a pixel. */
    QDX_FRAME_START_MARKER0 = 0xFF00,                         /**< Word 0. */
    QDX_FRAME_START_MARKER1 = 0x0080,                         /**< Word 1. */
    QDX_FRAME_END_MARKER0 = 0xFF00,                           /**< The last word but one. */
    QDX_FRAME_END_MARKER1 = 0x009D                            /**< The last word. */
};

/**
 * Copies min(bufferLength, L) bytes of the newest frame, L being its byte
 * count, and stores L in *frameLength when frameLength is not null. A short
 * or damaged transfer is handed out as it came: check L and the markers.
 * Returns QDX_OK for a frame not returned before, QDX_FRAME_REPEATED when it
 * is the frame the previous call returned, QDX_ERR_NO_FRAME (-1) when no
 * frame has arrived since the camera was (re)connected or the library is not
 * running, QDX_ERR_ARGUMENT (-1) for a null buffer.
 * The copy is never torn by frames arriving meanwhile. The last returned frame
 * is one value for the whole process.
 */
QDX_EXPORT int QDX_GetFrame(unsigned char* buffer, unsigned int bufferLength, unsigned int* frameLength);

/** QDX_FRAME_INFO.check: what the frame's byte count and marker words say. */
enum {
    QDX_FRAME_WHOLE = 0,  /**< QDX_FRAME_BYTES long with all four markers in place. */
    QDX_FRAME_SHORT = 1,  /**< Fewer bytes than QDX_FRAME_BYTES: a transfer cut short. */
    QDX_FRAME_DAMAGED = 2 /**< Too long, or a marker word wrong. */
};

/**
 * What the library knows of one frame. The caller sets size to
 * sizeof(QDX_FRAME_INFO) of the header it was built with; the library writes
 * no field beyond it, so later versions may add fields at the end.
 */
typedef struct QDX_FRAME_INFO {
    uint32_t size;        /**< Set by the caller: the struct's size in bytes (at least 48). */
    uint32_t length;      /**< The frame's byte count, as QDX_GetFrame's *frameLength. */
    uint64_t index;       /**< 1 for the first frame the process received, one more for each after it;
                               unlike QDX_GetIndex's counter it never starts again (reconnection, QDX_Init). */
    int64_t monotonicNs;  /**< When its last byte arrived: CLOCK_MONOTONIC, nanoseconds. */
    int64_t wallNs;       /**< The same moment on CLOCK_REALTIME: nanoseconds since 1970-01-01 UTC. */
    uint64_t skipped;     /**< Frames received after the one the previous QDX_GetFrame/QDX_GetFrameEx
                               call returned (or since QDX_Init) that the ring overwrote unseen; 0 for a
                               repeated frame. */
    int32_t check;        /**< QDX_FRAME_WHOLE, QDX_FRAME_SHORT or QDX_FRAME_DAMAGED. */
    uint32_t reserved;    /**< 0. */
} QDX_FRAME_INFO;

/**
 * QDX_GetFrame with what is known of the frame: copies the newest frame as
 * QDX_GetFrame does and fills *info for it. Returns as QDX_GetFrame, and
 * QDX_ERR_ARGUMENT for a null buffer or info or an info->size below 48;
 * *info is written only for QDX_OK and QDX_FRAME_REPEATED. The two calls
 * share the last returned frame.
 */
QDX_EXPORT int QDX_GetFrameEx(unsigned char* buffer, unsigned int bufferLength, QDX_FRAME_INFO* info);

/**
 * Stores the frame counter: frames received since the camera was last
 * connected. Returns QDX_OK, QDX_ERR_ARGUMENT for null.
 */
QDX_EXPORT int QDX_GetIndex(int* counter);

/**
 * Stores the data semaphore, released once per frame received (it counts up
 * to 60, further releases are lost). The handle is a sem_t* valid from
 * QDX_Init to QDX_Term, the same across camera reconnections; null while the
 * library is not running. Wait on it with sem_timedwait/sem_trywait only;
 * never post, destroy or free it. Returns QDX_OK, QDX_ERR_ARGUMENT for null.
 */
QDX_EXPORT int QDX_GetDataSemaphoHandle(QDX_HANDLE* handle);

/** Bits of the QDX_GetStatus value. */
enum {
    QDX_STATUS_CONNECTED = 1 << 0 /**< A camera is open. */
};

/**
 * Stores QDX_STATUS_CONNECTED while a camera is open, else 0.
 * Returns QDX_OK, QDX_ERR_ARGUMENT for null.
 */
QDX_EXPORT int QDX_GetStatus(int* status);

/* ---- Raw access ---------------------------------------------------------
 * One control transfer each, length 0..65535 bytes; nothing is split and
 * nothing waits for a memory to be ready. Register values travel big-endian.
 * A null buffer with a non-zero length, or a length out of range, gives
 * QDX_ERR_ARGUMENT.
 */

/** The memoryType of QDX_FlashRead and QDX_FlashWrite. */
enum {
    QDX_MEMORY_FX2 = 0, /**< The FX2 EEPROM: parameter blocks and gamma tables. */
    QDX_MEMORY_CIS = 1  /**< The sensor head's CIS EEPROM: its identity and calibration. */
};

/** Reads length bytes from the I2C slave (7-bit address; higher bits are dropped). */
QDX_EXPORT int QDX_I2CRead(int slaveAddress, int length, unsigned char* buffer);
/** Writes length bytes to the I2C slave; a sub-address write followed by QDX_I2CRead reads a slave's register. */
QDX_EXPORT int QDX_I2CWrite(int slaveAddress, int length, const unsigned char* buffer);
/** Reads memory bytes of QDX_MEMORY_FX2 or QDX_MEMORY_CIS; 20-bit address. */
QDX_EXPORT int QDX_FlashRead(int memoryType, unsigned int address, int length, unsigned char* buffer);
/** Writes memory bytes; the caller waits for the memory to be ready (status bytes 3/4) between writes. */
QDX_EXPORT int QDX_FlashWrite(int memoryType, unsigned int address, int length, const unsigned char* buffer);
/** Reads length / 2 consecutive 16-bit registers of device 0 (the FPGA) from firstRegister on. */
QDX_EXPORT int QDX_DeviceRead(int device, int firstRegister, int length, unsigned char* buffer);
/** Writes length / 2 consecutive 16-bit registers of the device from firstRegister on. */
QDX_EXPORT int QDX_DeviceWrite(int device, int firstRegister, int length, const unsigned char* buffer);

/* ---- Camera settings ----------------------------------------------------
 * One setter and one getter per setting, each one register write or read of
 * the FPGA. Indexed settings take an index first. Results: QDX_OK,
 * QDX_ERR_TRANSFER no camera or transfer failed, QDX_ERR_ARGUMENT index out of
 * range or null value pointer (nothing is sent then). No value ranges are
 * checked: values travel as their low 16 bits (U16), sign and magnitude modulo
 * 256 (SM8, -255..255) or low 9 bits (S9, -256..255). Successful writes and reads of most settings are
 * kept in the register shadow that QDX_Save_Param stores.
 */

/**
 * The FPGA registers (device 0) behind the settings below, for QDX_DeviceRead
 * and QDX_DeviceWrite and for the change mask of QDX_GetFpgaStatus, whose
 * bits cover registers 0..47. Values are 16-bit, high byte first on the wire.
 */
enum {
    QDX_REG_CONTROL_MODE = 0,        /**< "Mode", U16. */
    QDX_REG_ALC = 1,                 /**< "ALC", U16. */
    QDX_REG_BLACK_LEVEL = 2,         /**< U16. */
    QDX_REG_EXPOSURE_TIME = 3,       /**< U16. */
    QDX_REG_RAW_GAIN = 4,            /**< U16. */
    QDX_REG_CONTROL_TARGET = 5,      /**< U16. */
    QDX_REG_HYSTERESIS_A1 = 6,       /**< U16; A2, B1, B2 follow. */
    QDX_REG_HYSTERESIS_A2 = 7,
    QDX_REG_HYSTERESIS_B1 = 8,
    QDX_REG_HYSTERESIS_B2 = 9,
    QDX_REG_CONTROL_SPEED = 10,      /**< U16. */
    QDX_REG_CONTROL_AREA1 = 11,      /**< U16. */
    QDX_REG_CONTROL_AREA2 = 12,      /**< U16. */
    QDX_REG_AWB = 16,                /**< U16; not kept in the register shadow. */
    QDX_REG_RED_GAIN = 17,           /**< SM8. */
    QDX_REG_BLUE_GAIN = 18,          /**< SM8. */
    QDX_REG_COLOR_MATRIX_RR = 19,    /**< S9; the other eight follow in the order Rg Rb Gr Gg Gb Br Bg Bb. */
    QDX_REG_COLOR_MATRIX_RG = 20,
    QDX_REG_COLOR_MATRIX_RB = 21,
    QDX_REG_COLOR_MATRIX_GR = 22,
    QDX_REG_COLOR_MATRIX_GG = 23,
    QDX_REG_COLOR_MATRIX_GB = 24,
    QDX_REG_COLOR_MATRIX_BR = 25,
    QDX_REG_COLOR_MATRIX_BG = 26,
    QDX_REG_COLOR_MATRIX_BB = 27,
    QDX_REG_Y_GAIN = 28,             /**< SM8. */
    QDX_REG_CB_GAIN = 29,            /**< SM8. */
    QDX_REG_CR_GAIN = 30,            /**< SM8. */
    QDX_REG_GAMMA = 33,              /**< U16. */
    QDX_REG_IMAGE_FLIP = 34,         /**< U16. */
    QDX_REG_IMAGE_ROTATION = 35,     /**< U16. */
    QDX_REG_DVI_IMAGE_SIZE = 36,     /**< U16. */
    QDX_REG_DP_CORR = 37,            /**< U16; not kept in the register shadow. */
    QDX_REG_FPN_CORR = 38,           /**< U16; not kept in the register shadow. */
    QDX_REG_NOISE_REDUCTION = 39,    /**< U16. */
    QDX_REG_EDGE_ENHANCEMENT = 40,   /**< U16. */
    QDX_REG_VFPN_CORR = 41,          /**< U16. */
    QDX_REG_CIS_CONNECT = 48,        /**< U16, read only; not kept in the register shadow. */
    QDX_REG_CIS_CLOCK_PHASE = 50,    /**< U16. */
    QDX_REG_FPGA_VER = 255           /**< U16, read only; not kept in the register shadow. */
};

/** index 0 "Mode" (0 manual, 1 automatic exposure, 3 automatic gain and exposure), index 1 "ALC". */
QDX_EXPORT int QDX_Set_ControlMode(int index, int value);
QDX_EXPORT int QDX_Get_ControlMode(int index, int* value);
QDX_EXPORT int QDX_Set_BlackLevel(int value);
QDX_EXPORT int QDX_Get_BlackLevel(int* value);
/** 0.072 ms a step. */
QDX_EXPORT int QDX_Set_ExposureTime(int value);
QDX_EXPORT int QDX_Get_ExposureTime(int* value);
/** 1/16 a step: 16 is unity gain. */
QDX_EXPORT int QDX_Set_RawGain(int value);
QDX_EXPORT int QDX_Get_RawGain(int* value);
QDX_EXPORT int QDX_Set_ControlTarget(int value);
QDX_EXPORT int QDX_Get_ControlTarget(int* value);
/** index 0..3: A1, A2, B1, B2. */
QDX_EXPORT int QDX_Set_Hysteresis(int index, int value);
QDX_EXPORT int QDX_Get_Hysteresis(int index, int* value);
QDX_EXPORT int QDX_Set_ControlSpeed(int value);
QDX_EXPORT int QDX_Get_ControlSpeed(int* value);
/** index 0 area, index 1 inside (0) or outside (1). */
QDX_EXPORT int QDX_Set_ControlMonitor(int index, int value);
QDX_EXPORT int QDX_Get_ControlMonitor(int index, int* value);
/** Writing 1 starts a one-push white balance; it reads 0 again once the new red and blue gains are stored. */
QDX_EXPORT int QDX_Set_AWB(int value);
QDX_EXPORT int QDX_Get_AWB(int* value);
/** index 0 red, 1 blue; SM8, 0.0352 dB a step. */
QDX_EXPORT int QDX_Set_GainRB(int index, int value);
QDX_EXPORT int QDX_Get_GainRB(int index, int* value);
/** index 0..8: Rr Rg Rb Gr Gg Gb Br Bg Bb; S9, 128 is 1.0. */
QDX_EXPORT int QDX_Set_ColorMatrix(int index, int value);
QDX_EXPORT int QDX_Get_ColorMatrix(int index, int* value);
/** index 0 Y, 1 Cb, 2 Cr; SM8, 0.0352 dB a step. */
QDX_EXPORT int QDX_Set_GainYC(int index, int value);
QDX_EXPORT int QDX_Get_GainYC(int index, int* value);
/** 0 off, 1..3 the gamma table at 0xC000, 0xD000, 0xE000. */
QDX_EXPORT int QDX_Set_Gamma(int value);
QDX_EXPORT int QDX_Get_Gamma(int* value);
/** 0 normal, 1 horizontal, 2 vertical, 3 both. */
QDX_EXPORT int QDX_Set_ImageFlip(int value);
QDX_EXPORT int QDX_Get_ImageFlip(int* value);
/** 0, 90, 180, 270 degrees as 0..3. */
QDX_EXPORT int QDX_Set_ImageRotation(int value);
QDX_EXPORT int QDX_Get_ImageRotation(int* value);
QDX_EXPORT int QDX_Set_DVIImageSize(int value);
QDX_EXPORT int QDX_Get_DVIImageSize(int* value);
QDX_EXPORT int QDX_Set_DP_Corr(int value);
QDX_EXPORT int QDX_Get_DP_Corr(int* value);
QDX_EXPORT int QDX_Set_FPN_Corr(int value);
QDX_EXPORT int QDX_Get_FPN_Corr(int* value);
/** 0 off, 1 low, 2 mid, 3 high. */
QDX_EXPORT int QDX_Set_NoiseReduction(int value);
QDX_EXPORT int QDX_Get_NoiseReduction(int* value);
QDX_EXPORT int QDX_Set_EdgeEnhancement(int value);
QDX_EXPORT int QDX_Get_EdgeEnhancement(int* value);
QDX_EXPORT int QDX_Set_VFPN_Corr(int value);
QDX_EXPORT int QDX_Get_VFPN_Corr(int* value);
/** 1 while the sensor head is connected. */
QDX_EXPORT int QDX_Get_CIS_Connect(int* value);
/** Sensor-head clock phase, 0..15. */
QDX_EXPORT int QDX_Set_CIS_ClockPhase(int value);
QDX_EXPORT int QDX_Get_CIS_ClockPhase(int* value);
/** FPGA version: bits 4..7 major, 0..3 minor, 8..11 variant. */
QDX_EXPORT int QDX_Get_FPGA_Ver(int* value);

/** Selects data format 0 (colour) or 1 (sensor luma in the Y words) with device control record 2. */
QDX_EXPORT int QDX_Set_DataFormat(int format);
/** Reads the data format from the status record (and merges its change mask). */
QDX_EXPORT int QDX_Get_DataFormat(int* format);

/* ---- Correction tables --------------------------------------------------
 * Entries are 16-bit big-endian, moved 32 registers a request; a transfer
 * stops at the first failed request. QDX_OK, QDX_ERR_TRANSFER no camera or
 * failed, QDX_ERR_ARGUMENT null data.
 */

/** Defect-pixel table (256 bytes: 64 entries of two coordinates): index 1 at 0x180, any other at 0x100. */
QDX_EXPORT int QDX_Set_DP_Table(int index, const unsigned char* data);
QDX_EXPORT int QDX_Get_DP_Table(int index, unsigned char* data);
/** Fixed-pattern-noise table, 82,416 bytes at 0x1000..0xB0F7. */
QDX_EXPORT int QDX_Set_FPN_Table(const unsigned char* data);
QDX_EXPORT int QDX_Get_FPN_Table(unsigned char* data);
/** Gamma table (8,192 bytes): index 1 at 0xD000, 2 at 0xE000, any other at 0xC000. */
QDX_EXPORT int QDX_Set_Gamma_Table(int index, const unsigned char* data);
QDX_EXPORT int QDX_Get_Gamma_Table(int index, unsigned char* data);

/* ---- Parameter store in the camera's EEPROMs -----------------------------
 * Results: QDX_OK (0); QDX_ERR_TRANSFER (1) no camera or a transfer failed;
 * QDX_ERR_BAD_MAGIC (2) stored magic is not "QDX\0"; QDX_ERR_BAD_VERSION (3)
 * stored format version is not 1; QDX_ERR_BAD_STATE (4) stored state byte is
 * not 0; QDX_ERR_READ (5) a read of the stored data failed; QDX_ERR_NOT_READY
 * (6) the memory did not become ready (error, absent, no camera, or busy for
 * over a second); QDX_ERR_WRITE (7) a write failed; QDX_ERR_ARGUMENT (-1) null
 * pointer. Writes go in 64-byte pages, each after the memory reports ready; a
 * failed save leaves the pages before it written. A parameter block and the
 * CIS header are written with an empty header first and their real header
 * last, so a save cut short anywhere reads as QDX_ERR_BAD_MAGIC ("not found")
 * and is never pushed into the camera. The tables carry no header of their
 * own: a failed table save returns its error and leaves a partial table.
 */

/** Stores the first 256 bytes of the register shadow as the saved (FX2 0x4000) or default (0x6000) parameter block. Argument reserved, pass 0. */
QDX_EXPORT int QDX_Save_Param(int reserved);
QDX_EXPORT int QDX_Save_Default_Param(int reserved);
/** Invalidates the default parameter block (zeroes its header). */
QDX_EXPORT int QDX_Clear_Default_Param(int reserved);
/**
 * Checks and reads a parameter block, copies it into the register shadow and
 * writes its 35 settings to the camera. Returns QDX_ERR_TRANSFER,
 * QDX_ERR_BAD_MAGIC, QDX_ERR_BAD_VERSION, QDX_ERR_BAD_STATE or QDX_ERR_READ as
 * above (nothing changed), else the number of register writes that failed.
 */
QDX_EXPORT int QDX_Load_Param(int reserved);
QDX_EXPORT int QDX_Load_Default_Param(int reserved);
/** The stored parameter blocks QDX_Check_Param looks at. */
enum {
    QDX_PARAM_SAVED = 0,  /**< The block of QDX_Save_Param and QDX_Load_Param. */
    QDX_PARAM_DEFAULT = 1 /**< The block of QDX_Save_Default_Param and QDX_Load_Default_Param. */
};
/**
 * Reads the header of a stored parameter block and stores what a load would
 * make of it: QDX_OK for a valid block, else QDX_ERR_BAD_MAGIC (none stored,
 * or cleared), QDX_ERR_BAD_VERSION or QDX_ERR_BAD_STATE. A load's result of
 * 2..4 may also be a count of failed register writes; this tells the two
 * apart. Nothing is written. Returns QDX_OK, QDX_ERR_ARGUMENT for a null
 * state or a block that is not a QDX_PARAM_*, QDX_ERR_TRANSFER when no camera
 * is open or the header read failed (state unchanged).
 */
QDX_EXPORT int QDX_Check_Param(int block, int* state);
/** Gamma table of 8,192 bytes in the FX2 EEPROM: index 1 at 0xA000, 2 at 0xC000, any other at 0x8000. */
QDX_EXPORT int QDX_Save_Gamma_Table(int index, const unsigned char* data);
QDX_EXPORT int QDX_Load_Gamma_Table(int index, unsigned char* data);
/** Defect-pixel table of 256 bytes in the CIS EEPROM: index 1 at 0x300, any other at 0x200. */
QDX_EXPORT int QDX_Save_CIS_DP_Table(int index, const unsigned char* data);
QDX_EXPORT int QDX_Load_CIS_DP_Table(int index, unsigned char* data);
/**
 * FPN table (82,416 bytes at CIS 0x2000) and the raw gain it was taken at
 * (CIS 0x0028). Save: QDX_ERR_TRANSFER when the gain could not be stored.
 */
QDX_EXPORT int QDX_Save_CIS_FPN_Table(const unsigned char* data, int gain);
/**
 * Load: QDX_ERR_READ when the table read failed, QDX_ERR_ARGUMENT for a null
 * gain (after reading the table), QDX_ERR_TRANSFER when the gain read failed
 * (gain 0).
 */
QDX_EXPORT int QDX_Load_CIS_FPN_Table(unsigned char* data, int* gain);
/** 14 bytes of serial number text at CIS 0x0010, not terminated when all 14 are used. */
QDX_EXPORT int QDX_Save_CIS_SerialNo(const unsigned char* serialNumber);
QDX_EXPORT int QDX_Load_CIS_SerialNo(unsigned char* serialNumber);
/** The states QDX_Check_CISFlash stores. */
enum {
    QDX_CIS_FLASH_ABSENT = 0,  /**< No CIS EEPROM. */
    QDX_CIS_FLASH_INVALID = 1, /**< Present without a valid header. */
    QDX_CIS_FLASH_VALID = 2    /**< Present and valid. */
};
/**
 * Stores a QDX_CIS_FLASH_* state. Returns QDX_OK, QDX_ERR_ARGUMENT, or
 * QDX_ERR_CIS_CHECK when the status or header read failed.
 */
QDX_EXPORT int QDX_Check_CISFlash(int* state);
/** Writes the CIS header; mode 0 also clears the serial number, both defect-pixel tables and the FPN table (with the current raw gain). */
QDX_EXPORT int QDX_Init_CISFlash(int mode);

/* ---- Request observer ---------------------------------------------------
 * What the library sends to the camera, as it sends it: for tracing and for
 * a tool's log of its own raw access.
 */

/** The bRequest codes of the camera's vendor requests. */
enum {
    QDX_REQUEST_DEVICE_INFO = 0x10,    /**< IN: the device information record. */
    QDX_REQUEST_FORMAT_INFO = 0x11,    /**< IN: a format information record. */
    QDX_REQUEST_DEVICE_STATUS = 0x12,  /**< IN: the device status record. */
    QDX_REQUEST_DEVICE_CONTROL = 0x13, /**< OUT: a device control record. */
    QDX_REQUEST_I2C_READ = 0x14,       /**< IN: wIndex the slave address. */
    QDX_REQUEST_I2C_WRITE = 0x15,      /**< OUT: wIndex the slave address. */
    QDX_REQUEST_MEMORY_READ = 0x16,    /**< IN: wValue memory type << 12 | address bits 16..19, wIndex bits 0..15. */
    QDX_REQUEST_MEMORY_WRITE = 0x17,   /**< OUT: as QDX_REQUEST_MEMORY_READ. */
    QDX_REQUEST_REGISTER_READ = 0x18,  /**< IN: wValue the device, wIndex the first register. */
    QDX_REQUEST_REGISTER_WRITE = 0x19  /**< OUT: as QDX_REQUEST_REGISTER_READ. */
};

/** Bytes 3 and 4 of the device status record, and the memory states they hold. */
enum {
    QDX_DEVSTATUS_FX2_MEMORY_STATE = 3, /**< The FX2 EEPROM's state. */
    QDX_DEVSTATUS_CIS_MEMORY_STATE = 4, /**< The CIS EEPROM's state. */
    QDX_MEMORY_READY = 0,
    QDX_MEMORY_BUSY = 1,                /**< Still writing: a further write waits. */
    QDX_MEMORY_ERROR = 2,
    QDX_MEMORY_ABSENT = 3
};

/** One vendor request that the library sent, as the observer sees it. */
struct QDX_REQUEST {
    unsigned char bmRequestType; /**< 0x40 host to camera, 0xC0 camera to host. */
    unsigned char bRequest;      /**< QDX_REQUEST_*. */
    unsigned short wValue;
    unsigned short wIndex;
    unsigned short wLength;      /**< Bytes of the data stage. */
    /**
     * The data stage, wLength bytes: what was sent (0x40), or what came back
     * (0xC0, only when result is QDX_OK; null otherwise). Valid during the
     * call only.
     */
    const unsigned char* data;
    int result;                  /**< QDX_OK, or QDX_ERR_TRANSFER: no camera open, or the transfer failed. */
};

/**
 * Called once for each vendor request, on the thread that made it (the
 * caller's, or the library's own), right after its transfer ended; calls may
 * come from several threads at once. Keep it short: the request's caller
 * waits for it. Requests that the observer makes itself are not reported.
 */
typedef void (*QDX_REQUEST_OBSERVER)(const struct QDX_REQUEST* request, void* context);

/**
 * Sets the one observer of the process (null: none), with the context it is
 * called with; it replaces the previous one and holds across QDX_Init and
 * QDX_Term. When this returns, the previous observer is neither running nor
 * called again, so its context may go. Requests made while the library is
 * not running are not reported. Returns QDX_OK, or QDX_ERR_ARGUMENT when
 * called from inside an observer.
 */
QDX_EXPORT int QDX_SetRequestObserver(QDX_REQUEST_OBSERVER observer, void* context);

/**
 * Called on the library's own thread each time what QDX_GetStatus or
 * QDX_GetDeviceProblem reports changes (a camera opened or closed, also at
 * QDX_Term; a refusal reported or cleared), with the new QDX_GetStatus value.
 * Keep it short and do not call the library from it: the library waits for
 * it. It lets a thread sleep until something changes instead of polling.
 */
typedef void (*QDX_STATUS_OBSERVER)(int status, void* context);

/**
 * Sets the one status observer of the process (null: none), with the context
 * it is called with, as QDX_SetRequestObserver does for requests: it replaces
 * the previous one, holds across QDX_Init and QDX_Term, and when this returns
 * the previous one is neither running nor called again. Returns QDX_OK, or
 * QDX_ERR_ARGUMENT when called from inside an observer.
 */
QDX_EXPORT int QDX_SetStatusObserver(QDX_STATUS_OBSERVER observer, void* context);

#ifdef __cplusplus
}
#endif

#endif /* QDX_API_H */

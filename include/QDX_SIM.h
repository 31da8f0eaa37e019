/**
 * @file QDX_SIM.h
 * @brief Control of the simulated camera built into libQDX_API.
 *
 * The library talks to the simulated camera instead of USB when the
 * environment variable QDX_CAMERA is "sim" at QDX_Init. These functions steer
 * it like a hand on the hardware: plug it in and out, slow it down, make it
 * fail. They work whether or not the library is running; each returns QDX_OK
 * on success and QDX_ERR_ARGUMENT on a bad argument. Thread-safe.
 *
 * Start state from the environment: QDX_SIM_STATE_DIR (a folder where both
 * EEPROM images persist across runs), QDX_SIM_FPS (frame rate, default 30;
 * 0 streams as fast as the host reads), QDX_SIM_SECOND_CAMERA=1 (a second
 * camera is plugged in), QDX_SIM_EEPROM_WRITE_US (EEPROM write-cycle time),
 * QDX_SIM_SCENE (the scene number of QDXSim_SetScene), QDX_SIM_CONTROL_US (time
 * a control transfer takes, default 100).
 *
 * From outside the process: with QDX_SIM_CONTROL=PATH the library makes a
 * Unix stream socket at PATH at QDX_Init and removes it at QDX_Term (a PATH
 * that exists and is not a socket, or a socket another process serves, is
 * left alone and said so on stderr). It takes one command a line, at most
 * 255 characters, from any number of clients (16 at once), and answers each
 * with one line, "ok [...]" or "error <reason>":
 *   unplug [CAMERA] / replug [CAMERA]   QDXSim_SetPlugged (camera 0 or 1, default 0)
 *   stall / resume                      QDXSim_SetStalled
 *   inject short|corrupt N              QDXSim_InjectFrames (kind 1 or 2)
 *   fps RATE                            frames per second, 0.1..1000 or 0 (unpaced)
 *   scene N                             QDXSim_SetScene
 *   fail REQUEST|any COUNT [SKIP]       QDXSim_FailRequestsAfter (REQUEST 0..255)
 *   memory fx2|cis ready|busy|error|absent|own [READS]   QDXSim_SetMemoryState
 *                                       ("own": back to the memory's own state)
 *   cis on|off                          QDXSim_SetCisPresent
 *   register REG [VALUE]                QDXSim_GetRegister ("ok VALUE"), or
 *                                       QDXSim_SetRegister with the change reported
 *   reset                               QDXSim_Reset
 *   status                              "ok plugged P open O stalled S delivered D
 *                                       dropped R abandoned A": camera 0 plugged in,
 *                                       opened by the library, stalled, QDXSim_GetBulkStats
 *   help                                the commands
 * Numbers are decimal or 0x hex. From a shell:
 *   printf 'unplug\n' | socat - UNIX-CONNECT:PATH     (or nc -NU PATH)
 */
#ifndef QDX_SIM_H
#define QDX_SIM_H

#include "QDX_API.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Fresh camera: blank (0xFF) EEPROMs, registers at power-on values, plugged in, 30 fps, no faults; camera 1 unplugged. */
QDX_EXPORT int QDXSim_Reset(void);

/** Plugs camera 0 (the one the library opens first) or camera 1 (a second camera) in or out. */
QDX_EXPORT int QDXSim_SetPlugged(int camera, int plugged);

/** The access states of QDXSim_SetAccess. */
enum {
    QDXSIM_ACCESS_GRANTED = 0, /**< The camera may be opened (the default). */
    QDXSIM_ACCESS_DENIED = 1,  /**< Opening it is refused, as a device node without permission is. */
    QDXSIM_ACCESS_BUSY = 2     /**< Another program holds it. */
};

/**
 * Whether the library may open camera 0 or 1: a refused camera stays plugged
 * in but is not opened, and QDX_GetDeviceProblem reports it (bus 0, address
 * camera + 1, no IDs, no device node). Takes effect at the library's next
 * attempt to open a camera; one already open stays open. QDXSim_Reset grants
 * access again.
 */
QDX_EXPORT int QDXSim_SetAccess(int camera, int access);

/** Time between frames of both cameras; 0 streams as fast as the host reads. */
QDX_EXPORT int QDXSim_SetFrameInterval(unsigned int microseconds);

/** The camera stops (1) or resumes (0) sending frames. */
QDX_EXPORT int QDXSim_SetStalled(int stalled);

/** The next count frames are short (kind 1: half a frame) or carry a wrong end marker (kind 2). */
QDX_EXPORT int QDXSim_InjectFrames(int kind, int count);

/** The next count control transfers with that bRequest fail (bRequest -1: any). */
QDX_EXPORT int QDXSim_FailRequests(int bRequest, int count);

/** As QDXSim_FailRequests, after letting the next skip such transfers pass. */
QDX_EXPORT int QDXSim_FailRequestsAfter(int bRequest, int skip, int count);

/**
 * The next statusReads status records report this state (0 ready, 1 busy,
 * 2 error, 3 absent) for the memory (QDX_MEMORY_FX2 or QDX_MEMORY_CIS);
 * statusReads -1: until changed again, 0: back to the memory's own state.
 */
QDX_EXPORT int QDXSim_SetMemoryState(int memoryType, int state, int statusReads);

/** How long camera 0's EEPROMs stay busy after each page write (default 500). */
QDX_EXPORT int QDXSim_SetEepromWriteTime(unsigned int microseconds);

/** Reads or writes camera 0's EEPROM contents directly (QDX_MEMORY_FX2 or QDX_MEMORY_CIS). */
QDX_EXPORT int QDXSim_ReadMemory(int memoryType, unsigned int address, int length, unsigned char* out);
QDX_EXPORT int QDXSim_WriteMemory(int memoryType, unsigned int address, int length, const unsigned char* in);

/** Reads or sets an FPGA register (0..65535) of camera 0 as the camera itself would; with reportChange the register's change-mask bit is set (registers 0..47). */
QDX_EXPORT int QDXSim_GetRegister(int reg, int* value);
QDX_EXPORT int QDXSim_SetRegister(int reg, int value, int reportChange);

/** Control transfers received by the cameras since the last reset with that bRequest (-1: all); -1 for a bad argument. */
QDX_EXPORT int QDXSim_GetRequestCount(int bRequest);

/** The setup packet of the last control transfer camera 0 received, as its 8 bytes on the wire (little-endian fields). */
QDX_EXPORT int QDXSim_GetLastSetup(unsigned char packet[8]);

/**
 * Copies the setup packets camera 0 received since the last reset, oldest
 * first, 8 bytes each as on the wire, at most maxPackets of them (the newest
 * 8192 are kept). Returns the number copied, -1 for a bad argument.
 */
QDX_EXPORT int QDXSim_GetRequestLog(int maxPackets, unsigned char* packets);

/** Connects (1) or removes (0) camera 0's sensor head: without it QDX_REG_CIS_CONNECT reads 0, the CIS EEPROM reports state 3 (absent) and does not answer. */
QDX_EXPORT int QDXSim_SetCisPresent(int present);

/**
 * What camera 0 looks at: 0 a colour chart with grey steps, saturated
 * patches, fine detail and a moving disc (the default); 1 an evenly lit grey
 * card; 2 darkness (lens capped); 3 the camera's colour-bar test pattern.
 */
QDX_EXPORT int QDXSim_SetScene(int scene);

/** Bulk-read figures of camera 0 since the last reset: frames delivered, frames lost because no read was pending, reads the host abandoned. Null pointers are skipped. */
QDX_EXPORT int QDXSim_GetBulkStats(unsigned long long* delivered, unsigned long long* dropped,
                                   unsigned long long* abandoned);

#ifdef __cplusplus
}
#endif

#endif /* QDX_SIM_H */

/**
 * @file QDX_API.h
 * @brief QDX camera access library: the public C interface.
 *
 * The library finds the camera among the machine's USB devices (or the
 * simulated camera when the environment variable QDX_CAMERA is "sim"), keeps
 * its frames flowing on threads of its own, and gives access to the camera's
 * status records, I2C bus, memories and FPGA registers.
 *
 * Every function returns a 32-bit int: 0 on success, 1 when no camera is open
 * or a transfer failed, -1 for an invalid argument (null output pointer,
 * length out of range). Getters leave their output unchanged on failure.
 * There is one camera and one frame ring per process; every function may be
 * called from any thread unless its comment says otherwise.
 */
#ifndef QDX_API_H
#define QDX_API_H

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

/* ---- Lifecycle and device status ------------------------------------- */

/**
 * Starts the library: its connection thread looks for the camera every 50 ms
 * and opens it when it appears. Returns at once, camera or not. Calling it on
 * a running library changes nothing. Call QDX_Init and QDX_Term from one
 * thread, never concurrently. Always returns 0.
 */
QDX_EXPORT int QDX_Init(void);

/**
 * Stops the library and waits until its threads have ended and its buffers
 * are freed. The data semaphore is destroyed: no thread may still wait on it.
 * Returns 0, also when the library was not running.
 */
QDX_EXPORT int QDX_Term(void);

/**
 * Stores the library's version as major << 24 | minor << 16 | build << 8 |
 * revision (0x01010000 for 1.1.0.0); 0 before the first QDX_Init.
 * Returns 0, or -1 for a null pointer.
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
 * camera disconnections. Returns 0, -1 for a null mask, 1 when the status read
 * failed (the mask is then neither copied nor cleared).
 */
QDX_EXPORT int QDX_GetFpgaStatus(unsigned int length, unsigned char* mask);

/* ---- Frame streaming --------------------------------------------------- */

/**
 * Copies min(bufferLength, L) bytes of the newest frame, L being its byte
 * count, and stores L in *frameLength when frameLength is not null.
 * Returns 0 for a frame not returned before, 1 when it is the frame the
 * previous call returned, -1 when no frame has arrived since the camera was
 * (re)connected, when the library is not running, or for a null buffer.
 * The copy is never torn by frames arriving meanwhile. The last returned frame
 * is one value for the whole process.
 */
QDX_EXPORT int QDX_GetFrame(unsigned char* buffer, unsigned int bufferLength, unsigned int* frameLength);

/** Stores the frame counter: frames received since the camera was last connected. Returns 0, -1 for null. */
QDX_EXPORT int QDX_GetIndex(int* counter);

/**
 * Stores the data semaphore, released once per frame received (it counts up
 * to 60, further releases are lost). The handle is a sem_t* valid from
 * QDX_Init to QDX_Term, the same across camera reconnections; null while the
 * library is not running. Wait on it with sem_timedwait/sem_trywait only;
 * never post, destroy or free it. Returns 0, -1 for null.
 */
QDX_EXPORT int QDX_GetDataSemaphoHandle(QDX_HANDLE* handle);

/** Stores 1 while a camera is open, else 0. Returns 0, -1 for null. */
QDX_EXPORT int QDX_GetStatus(int* status);

/* ---- Raw access ---------------------------------------------------------
 * One control transfer each, length 0..65535 bytes; nothing is split and
 * nothing waits for a memory to be ready. Register values travel big-endian.
 * A null buffer with a non-zero length, or a length out of range, gives -1.
 */

/** Reads length bytes from the I2C slave (7-bit address; higher bits are dropped). */
QDX_EXPORT int QDX_I2CRead(int slaveAddress, int length, unsigned char* buffer);
/** Writes length bytes to the I2C slave; a sub-address write followed by QDX_I2CRead reads a slave's register. */
QDX_EXPORT int QDX_I2CWrite(int slaveAddress, int length, const unsigned char* buffer);
/** Reads memory bytes: memoryType 0 FX2 EEPROM, 1 CIS EEPROM; 20-bit address. */
QDX_EXPORT int QDX_FlashRead(int memoryType, unsigned int address, int length, unsigned char* buffer);
/** Writes memory bytes; the caller waits for the memory to be ready (status bytes 3/4) between writes. */
QDX_EXPORT int QDX_FlashWrite(int memoryType, unsigned int address, int length, const unsigned char* buffer);
/** Reads length / 2 consecutive 16-bit registers of device 0 (the FPGA) from firstRegister on. */
QDX_EXPORT int QDX_DeviceRead(int device, int firstRegister, int length, unsigned char* buffer);
/** Writes length / 2 consecutive 16-bit registers of the device from firstRegister on. */
QDX_EXPORT int QDX_DeviceWrite(int device, int firstRegister, int length, const unsigned char* buffer);

#ifdef __cplusplus
}
#endif

#endif /* QDX_API_H */

/* The digital-I/O card driver library (libadsapi32.so): the entry points the GPI card class
 * calls, the parameter records they take and the codes they return. Every call returns 0 on
 * success or one of the DRV_ERR codes. A card has 16 ports of eight input lines and eight
 * output lines each. */
#pragma once

#include <cstdint>

#ifdef __cplusplus
extern "C" {
#endif

#define ADSAPI_API __attribute__((visibility("default")))

enum : uint32_t {
    DRV_OK = 0,
    DRV_ERR_NO_DEVICE = 0x100,      /* no card with that number, or the list is empty */
    DRV_ERR_INVALID_HANDLE = 0x101, /* the handle is not an open card */
    DRV_ERR_INVALID_PARAM = 0x102,  /* a null pointer, a bit above 7, a count of 0 */
    DRV_ERR_INVALID_PORT = 0x103,   /* a port beyond the card's ports */
    DRV_ERR_EVENT_TYPE = 0x104,     /* an event type the card does not raise */
    DRV_ERR_EVENT_DISABLED = 0x105, /* waiting for an event that was not enabled */
    DRV_ERR_EVENT_TIMEOUT = 0x106,  /* no event within the time-out */
    DRV_ERR_DEVICE_FAULT = 0x107,   /* the card did not answer */
};

/* Ports on each card. */
enum { DRV_PORTS = 16 };

/* The one event the card raises: an input line changed. */
enum { DRV_EVENT_INPUT_CHANGE = 1 };

/* One entry of the card list: 56 bytes, the card's number first. */
typedef struct {
    uint32_t deviceNum;
    char deviceName[50];
    int16_t subdevices;
} DRV_DEVLIST;

typedef struct {
    uint16_t port;
    uint16_t mask;
    uint16_t state;
} DRV_PORTBYTE_WRITE;

typedef struct {
    uint16_t port;
    uint16_t bit;
    uint16_t state;
} DRV_BIT_WRITE;

typedef struct {
    uint16_t port;
    uint16_t *value;
} DRV_PORTBYTE_READ;

typedef struct {
    uint16_t port;
    uint16_t bit;
    uint16_t *state;
} DRV_BIT_READ;

typedef struct {
    uint16_t eventType;
    uint16_t enabled;
    uint16_t count; /* the event is raised after this many input changes */
} DRV_EVENT_ENABLE;

typedef struct {
    uint16_t *eventType; /* the type raised, written back */
    uint32_t milliseconds;
} DRV_EVENT_CHECK;

ADSAPI_API uint32_t DRV_DeviceGetNumOfList(int16_t *count);
/* Fills up to `maxEntries` entries; `count` gets how many were filled. */
ADSAPI_API uint32_t DRV_DeviceGetList(DRV_DEVLIST *entries, int16_t maxEntries, int16_t *count);
ADSAPI_API uint32_t DRV_DeviceOpen(uint32_t deviceNum, uint32_t *handle);
/* Closes the card and clears the handle. */
ADSAPI_API uint32_t DRV_DeviceClose(uint32_t *handle);
/* The code's text into `text` (at least 80 bytes). */
ADSAPI_API uint32_t DRV_GetErrorMessage(uint32_t code, char *text);

/* Writes the bits of `mask` of the port's outputs from `state`. */
ADSAPI_API uint32_t DRV_DioWritePortByte(uint32_t handle, DRV_PORTBYTE_WRITE *param);
ADSAPI_API uint32_t DRV_DioWriteBit(uint32_t handle, DRV_BIT_WRITE *param);
/* The port's input lines. */
ADSAPI_API uint32_t DRV_DioReadPortByte(uint32_t handle, DRV_PORTBYTE_READ *param);
ADSAPI_API uint32_t DRV_DioReadBit(uint32_t handle, DRV_BIT_READ *param);
/* The levels the card drives on the port's output lines. */
ADSAPI_API uint32_t DRV_DioGetCurrentDOByte(uint32_t handle, DRV_PORTBYTE_READ *param);
ADSAPI_API uint32_t DRV_DioGetCurrentDOBit(uint32_t handle, DRV_BIT_READ *param);
/* Enables (or disables) the event for this handle; input changes are counted from now. */
ADSAPI_API uint32_t DRV_EnableEvent(uint32_t handle, DRV_EVENT_ENABLE *param);
/* Waits up to the time-out for the enabled event. */
ADSAPI_API uint32_t DRV_CheckEvent(uint32_t handle, DRV_EVENT_CHECK *param);

#ifdef __cplusplus
}
#endif

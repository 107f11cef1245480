/* The simulated card behind libadsapi32.so, for tests and scripts: how many cards are
 * installed, their input lines, the outputs the driver calls wrote, and fault knobs.
 *
 * The card state lives in this process unless the file named by $KEST_DIO_CARD (or passed
 * to DioSim_Attach) holds it: then every process that maps the file sees one card, so a test
 * can drive the inputs of a card that a program it started watches. Handles, faults and the
 * write hook always stay in the process. */
#pragma once

#include <cstdint>

#ifdef __cplusplus
extern "C" {
#endif

#define DIOSIM_API __attribute__((visibility("default")))

enum { DIOSIM_MAX_CARDS = 4 };

/* The driver calls a fault knob can make fail. */
enum DioSimCall {
    DIOSIM_GETNUM = 0, /* DRV_DeviceGetNumOfList */
    DIOSIM_GETLIST,    /* DRV_DeviceGetList */
    DIOSIM_OPEN,       /* DRV_DeviceOpen */
    DIOSIM_CLOSE,      /* DRV_DeviceClose */
    DIOSIM_IO,         /* every port read and write */
    DIOSIM_EVENT,      /* DRV_EnableEvent */
    DIOSIM_CHECK,      /* DRV_CheckEvent */
    DIOSIM_CALLS
};

/* Holds the state in `path` (created with one card when missing); null goes back to the
 * process's own state. 1 on success. */
DIOSIM_API int DioSim_Attach(const char *path);
/* `cards` cards installed (at most DIOSIM_MAX_CARDS), every line low, every handle closed,
 * no faults, no hook, no calls counted. */
DIOSIM_API void DioSim_Reset(uint16_t cards);
DIOSIM_API void DioSim_SetInput(uint16_t card, uint16_t port, uint16_t bit, int level);
DIOSIM_API int DioSim_GetInput(uint16_t card, uint16_t port, uint16_t bit);
/* What the driver calls wrote to an output line. */
DIOSIM_API int DioSim_GetOutput(uint16_t card, uint16_t port, uint16_t bit);
/* Handles open in this process. */
DIOSIM_API uint32_t DioSim_OpenHandles(void);
/* Makes every later call of that kind fail with `code` (0 ends the fault). */
DIOSIM_API void DioSim_Fail(int call, uint32_t code);
/* How many calls of that kind were made in this process since the last reset. */
DIOSIM_API uint32_t DioSim_Calls(int call);

/* Called after every output write, on the writer's thread, with the port's levels before and
 * after. */
typedef void (*DioSimWriteHook)(void *context, uint16_t card, uint16_t port, uint8_t before,
                                uint8_t after);
DIOSIM_API void DioSim_SetWriteHook(DioSimWriteHook hook, void *context);

#ifdef __cplusplus
}
#endif

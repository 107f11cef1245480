/* Our own video-server client library (libhpvslapi.so), loaded by name ("hpvslapi.dll") at run
 * time: its entry points and records. Every call returns 0 on success and fills the caller's
 * status block. This build simulates the servers in the process: nodes holding clips, copies
 * between nodes that advance a step per status call, and the hpvsSim* entry points by which
 * tests set it up, make it stall or fail and read what it saw. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HPVS_API __attribute__((visibility("default")))

enum {
    HPVS_OK = 0,
    HPVS_ERR_FAILED = 1,   /* a failure the tests asked for */
    HPVS_ERR_HANDLE = 2,   /* no such connection */
    HPVS_ERR_NOTFOUND = 3, /* no such node, clip or command */
    HPVS_ERR_EXISTS = 4,   /* the name is taken */
    HPVS_ERR_NOTINIT = 5,  /* hpvsInit has not succeeded */
};

enum { HPVS_CMD_RUNNING = 1, HPVS_CMD_DONE = 3, HPVS_CMD_TERMINATED = 4 };

#define HPVS_NODE_NAME 20
#define HPVS_CLIP_NAME 9

typedef struct {
    int32_t code; /* the result of the last call */
    char text[60];
} hpvs_status_t;

typedef struct {
    char name[HPVS_NODE_NAME];
} hpvs_node_t;

typedef struct {
    int32_t hours, minutes, seconds, frames; /* the clip's duration */
} hpvs_timecode_t;

typedef struct {
    char name[HPVS_CLIP_NAME];
    hpvs_timecode_t duration;
} hpvs_media_t;

typedef struct {
    int32_t state;      /* HPVS_CMD_* */
    double percentDone; /* 0 to 100 */
} hpvs_cmd_t;

HPVS_API int32_t hpvsInit(char *buffer /* 256 bytes */);
HPVS_API int32_t hpvsShutdown(hpvs_status_t *status);
HPVS_API int32_t hpvsCreateConn(const char *connection, int32_t flags, int32_t *handle,
                                hpvs_status_t *status);
HPVS_API int32_t hpvsDestroyConn(int32_t handle, hpvs_status_t *status);
HPVS_API int32_t hpvsListNodes(int32_t max, hpvs_node_t *nodes, int32_t *count, int32_t *more,
                               int32_t *next, hpvs_status_t *status);
HPVS_API int32_t hpvsNextNodes(int32_t next, int32_t max, hpvs_node_t *nodes, int32_t *count,
                               int32_t *more, hpvs_status_t *status);
HPVS_API int32_t hpvsListMedia(const char *node, int32_t kind, int32_t max,
                               char (*names)[HPVS_CLIP_NAME], int32_t handle, int32_t *count,
                               int32_t *more, int32_t *next, hpvs_status_t *status);
/* Continues a listing that said there is more: `next` is the continuation value it gave. */
HPVS_API int32_t hpvsNextMedia(int32_t next, int32_t max, char (*names)[HPVS_CLIP_NAME],
                               int32_t *count, int32_t *more, hpvs_status_t *status);
HPVS_API int32_t hpvsDeleteMedia(const char *node, const char *clip, int32_t handle,
                                 hpvs_status_t *status);
HPVS_API int32_t hpvsRenameFile(int32_t handle, const char *from, const char *to,
                                hpvs_status_t *status);
HPVS_API int32_t hpvsQueryMedia(const char *node, const char *clip, int32_t handle,
                                hpvs_media_t *media, hpvs_status_t *status);
HPVS_API int32_t hpvsCopyMedia(const char *sourceNode, const char *clip, const char *destNode,
                               const char *destClip, int32_t flags, int32_t handle,
                               int32_t *command, hpvs_status_t *status);
HPVS_API int32_t hpvsCmdStatus(int32_t command, int32_t kind, hpvs_cmd_t *record,
                               hpvs_status_t *status);
HPVS_API int32_t hpvsTerminateCmd(int32_t command, hpvs_status_t *status);

/* The simulation. Reset forgets nodes, clips, connections, commands, knobs and counts; a
 * library started stays started. */
HPVS_API void hpvsSimReset(void);
HPVS_API void hpvsSimAddClip(const char *node, const char *clip, int32_t frames);
/* The clip's length in frames; -1 when the node lacks it. */
HPVS_API int32_t hpvsSimClipFrames(const char *node, const char *clip);
/* Copies advance `step` percent per status call, stop advancing at `stallAt` (100: never)
 * and fail their status calls from `failAt` (above 100: never). A copy writes its
 * destination clip, with the source's length, once it is 90% done. */
HPVS_API void hpvsSimSetCopy(double step, double stallAt, double failAt);
/* The next `times` calls of the entry point (by name) fail. */
HPVS_API void hpvsSimFailNext(const char *entry, int32_t times);
/* How often the entry point (by name) was called since the reset. */
HPVS_API int32_t hpvsSimCalls(const char *entry);
/* HPVSCONTACT as hpvsInit last saw it (empty when unset), and whether init has succeeded. */
HPVS_API const char *hpvsSimContact(void);
HPVS_API int32_t hpvsSimInitialised(void);

#ifdef __cplusplus
}
#endif

/* Our own multiport serial board library (libPCOMM.so), loaded by name at run time: its entry
 * points, the codes they take and the results they give. Board ports are numbered 1 to 255;
 * each is the serial line that the port resolver gives for SIO<n>; a port that resolves to
 * nothing does not open. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define PCOMM_API __attribute__((visibility("default")))

/* Results: 0 or a byte count on success, a negative code on failure. */
enum {
    SIO_OK = 0,
    SIO_BADPORT = -1,     /* port number out of range, or no line configured for it */
    SIO_NOTOPEN = -2,     /* the port is not open */
    SIO_BADPARM = -3,     /* a code or argument is not valid */
    SIO_ALREADYOPEN = -4, /* the port is open already */
    SIO_OPENFAIL = -5,    /* the line could not be opened (missing, or in use elsewhere) */
    SIO_IOERROR = -6,     /* the line failed, or its far end hung up */
};

/* Baud codes for sio_ioctl. */
enum {
    SIO_BAUD_50 = 0,
    SIO_BAUD_75,
    SIO_BAUD_110,
    SIO_BAUD_134,
    SIO_BAUD_150,
    SIO_BAUD_300,
    SIO_BAUD_600,
    SIO_BAUD_1200,
    SIO_BAUD_1800,
    SIO_BAUD_2400,
    SIO_BAUD_4800,
    SIO_BAUD_7200,
    SIO_BAUD_9600,
    SIO_BAUD_19200,
    SIO_BAUD_38400,
    SIO_BAUD_57600,
    SIO_BAUD_115200,
    SIO_BAUD_230400,
    SIO_BAUD_460800,
    SIO_BAUD_921600,
};

/* Line mode for sio_ioctl: the OR of one data-bit, one stop-bit and one parity code. */
enum {
    SIO_BITS_5 = 0x00,
    SIO_BITS_6 = 0x01,
    SIO_BITS_7 = 0x02,
    SIO_BITS_8 = 0x03,
    SIO_STOP_1 = 0x00,
    SIO_STOP_1_5 = 0x02, /* shares its bit with the data-bit codes, which it then changes:
                            the line has no 1.5 stop bits (it sends two), so use SIO_STOP_2 */
    SIO_STOP_2 = 0x04,
    SIO_PARITY_NONE = 0x00,
    SIO_PARITY_ODD = 0x08,
    SIO_PARITY_EVEN = 0x18,
    SIO_PARITY_MARK = 0x28,
    SIO_PARITY_SPACE = 0x38,
};

/* What sio_flush discards. */
enum {
    SIO_FLUSH_INPUT = 0,
    SIO_FLUSH_OUTPUT = 1,
    SIO_FLUSH_BOTH = 2,
};

/* Runs on the port's callback thread with the port number; it reads with sio_read. */
typedef void (*SioCntIrqCallback)(int port);

/* Opens the port at 9600 baud, 8 data bits, no parity, one stop bit. */
PCOMM_API int sio_open(int port);
PCOMM_API int sio_close(int port);
/* Sets the baud code and the line mode. */
PCOMM_API int sio_ioctl(int port, int baud, int mode);
/* Calls `callback` whenever at least `count` bytes wait; a null callback ends the calls. */
PCOMM_API int sio_cnt_irq(int port, SioCntIrqCallback callback, int count);
PCOMM_API int sio_flush(int port, int func);
/* Returns the count written: `len` unless the line did not take every byte in time. */
PCOMM_API int sio_write(int port, const char *buf, int len);
/* Writes one character on the line open on the port: 1 when it went out, else a negative code. */
PCOMM_API int sio_putch(int port, int ch);
/* Reads the bytes waiting, at most `len`, without waiting; returns the count (0 for none). */
PCOMM_API int sio_read(int port, char *buf, int len);
/* Holds the line in the break state for `ms` milliseconds. */
PCOMM_API int sio_break(int port, int ms);

#ifdef __cplusplus
}
#endif

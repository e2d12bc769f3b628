// SPDX-License-Identifier: MIT
/*
 * libkvara: the reader API of the Kvara Programmer.
 *
 * A flat set of C functions to open Kvara UHF RFID readers and reader/programmers, list the
 * EPC Class-1 Gen-2 tags in their field, read and write tag memory, lock memory areas, and set
 * the reader's transmit power.
 *
 * Contents
 *   Conventions, threads, time, late answers, what a caller can rely on (this comment)
 *   Versions
 *   Error codes
 *   Memory banks, lock areas and lock actions
 *   Opening and closing readers
 *   Tags: inventory, select, read, write, lock
 *   Reader settings: RF field, transmit power, modes; any command
 *   Local devices: serial ports, USB readers, device changes
 *   Network readers: discovery, reachability, configuration
 *   Diagnostics: error texts, log and trace
 *   Window integration hooks
 * Each section below starts with a banner line "---- <name> ----".
 *
 * Examples: the folder examples/ of the source tree, installed with the development package
 * under share/doc/libkvara-dev/examples with a Makefile that builds them through pkg-config:
 *   list_ports.c  prints the library version, the serial ports and the USB readers present;
 *   inventory.c   opens a reader and prints the EPC of every tag in its field;
 *   read_write.c  writes two words into the User memory of the one tag in the field and reads
 *                 them back;
 *   with_sim.sh   (source tree only) runs one of them against the simulated reader kvara-sim.
 *
 * Conventions
 * - A reader handle is a positive integer naming one open reader: serial and FTDI readers get
 *   1, 2, ...; HID readers 10001, ...; network readers 20001, ...
 * - Functions that only succeed or fail return 0 or -1. Functions that deliver data return the
 *   number of bytes copied into the caller's buffer (0 or more) or -1.
 * - On failure the cause is the reader's error code, read with KvaraGetLastError: a non-zero
 *   status byte of the reader's answer (1-255), or one of the codes the library sets itself
 *   (KVARA_ERROR_*; see "Error codes"). Success does not clear the code. For a handle that
 *   names no open reader a function fails without storing anything, and KvaraGetLastError
 *   returns KVARA_ERROR_NO_PORT (3).
 * - Output buffers: a NULL buffer or a negative size counts as a buffer of size 0. When the
 *   answer data is longer than the buffer, the function stores KVARA_ERROR_BUFFER_SIZE (5),
 *   copies nothing and returns -1 (KvaraInventory cuts instead; see there).
 * - Input pointers: a NULL pointer where bytes are required, or a negative length, fails with
 *   -1 and KVARA_ERROR_INVALID_ARGUMENT (257) before anything is sent to the reader.
 * - Strings passed in are zero-terminated 8-bit strings.
 *
 * Threads: every function may be called from any thread. Commands on one reader take turns: a
 * command from a second thread waits until the running one has ended, and then runs; a reader
 * closed meanwhile makes it fail (KVARA_ERROR_NO_PORT). KvaraClosePort from another thread ends
 * a command that waits for the reader at once: it fails, and KvaraGetLastError returns
 * KVARA_ERROR_NO_PORT for its handle. Handles are given out in turn, so the handle of a closed
 * reader does not name the next reader opened (only after the rest of its range, thousands of
 * opens later). Different readers work side by side. Opening and closing readers from several
 * threads is safe. The error code is kept per reader: with several threads on one reader it is
 * the last failure of any of them. While a function waits for the reader's answer it
 * dispatches the calling thread's pending window messages through the hooks the application
 * installed; a reader function called from such a message for the same reader fails at once
 * with KVARA_ERROR_PORT_BUSY (256).
 *
 * Time: a function that talks to an open reader returns within 10 x timeoutMs (the time-out
 * given to KvaraOpenPort) after it gets its turn on the reader, whatever the reader does: up to
 * 4 x timeoutMs to get the line back in step (see below), up to three waiting phases of
 * timeoutMs for the answer (the first bytes, the frame start, the rest), and for a write that is
 * read back up to three more. Window messages dispatched meanwhile (see KvaraSetUiHooks) take
 * their own time on top. Waiting never keeps a processor busy.
 *
 * Late, extra and garbled answers. Reader answers carry no sequence number: the library takes
 * the first answer that comes after a frame for that frame's answer, which is right while the
 * line is in step. It counts the line out of step when
 * - a command got no complete answer in time (KVARA_ERROR_TIMEOUT, 4): its answer may still
 *   come;
 * - an answer is not the command's own (KVARA_ERROR_FOREIGN_ANSWER, 259): it carries another
 *   bus address than the reader's, more bytes than its frame, or data that does not fit the
 *   command (data for a command that has none back: select, writes, lock, power write, RF,
 *   reader mode, USB mode; fewer bytes than a counted read asks for; a transmit power above
 *   40.0 dBm);
 * - bytes came that no command asked for (an answer sent twice, say), found when the next frame
 *   would go out, or an answer came in less than half the time the reader ever took for that
 *   command and more bytes followed it.
 * A garbled answer (KVARA_ERROR_CHECKSUM, 10) of exactly a frame's length is the command's own
 * with changed bytes and leaves the line in step. Before the next command goes out on a line
 * out of step, the library waits until the line has been quiet for one time-out (discarding
 * what comes) and then proves it in step: a device type query (0xF0) must get exactly the
 * device type the reader gave at open, a transmit power query (0x07) a power answer or the
 * refusal the reader gave it at open, a device type query the device type again, and the line
 * must then stay quiet for a few of their round trips. When answers of earlier commands turn up
 * instead, it waits for quiet and proves again, within 4 x timeoutMs; when that does not
 * succeed the command is not sent and fails with KVARA_ERROR_OUT_OF_STEP (258), or with
 * KVARA_ERROR_TIMEOUT when the reader did not answer the queries. A reader that answers in
 * time is back in step within a call or two after a late answer, whatever the caller's pace; a
 * reader that holds answers back is back once the line has been quiet for a time-out after the
 * last of them. KvaraOpenPort proves the same way that the reader's first answer is its own,
 * not the late answer of a command sent before the reader was last closed (by this or another
 * program).
 *
 * What a caller can rely on:
 * - Success: the function got the reader's answer to that very call. A write (KvaraWriteBank,
 *   KvaraWriteBankPwd) reports success only when the area reads back as written: in framing
 *   mode 0, whose check byte two changed bytes can pass, every write outside the EPC bank is
 *   read back (an area the reader cannot read back leaves the reader's own answer standing), and
 *   in either mode every write after the line had to be proven in step. A write to the EPC bank
 *   changes the PC or EPC the tag was selected by: prove it by selecting the new EPC and
 *   reading it back (as kvara set-epc does).
 * - KVARA_ERROR_OUT_OF_STEP, KVARA_ERROR_PORT_BUSY, and the argument codes
 *   KVARA_ERROR_DATA_COUNT (from the library), KVARA_ERROR_READER_MODE,
 *   KVARA_ERROR_WORD_ADDRESS and KVARA_ERROR_INVALID_ARGUMENT: the command was not sent.
 * - KVARA_ERROR_TIMEOUT, KVARA_ERROR_CHECKSUM (garbled answer), KVARA_ERROR_FOREIGN_ANSWER
 *   (another command's answer): the outcome is unknown; the reader may have carried the command
 *   out. Read back what matters.
 * - A reader status (1-255): the reader's answer to this command, refused.
 * - A frame whose command has returned is never sent later (a network link that reconnects
 *   drops it).
 * Two cases remain that no library can tell without sequence numbers or a stronger check
 * value: a reader that sends an answer twice, the copy arriving no sooner than the reader
 * answers and while the next command of the same kind waits, gives that command the copy (the
 * surplus shows when the caller next pauses, and the line is proven in step then); and in
 * framing mode 0 two changed bytes that cancel in the check byte can make a read deliver other
 * data than the tag holds (read twice where that matters).
 */
#ifndef KVARA_H
#define KVARA_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(KVARA_BUILDING_LIBRARY)
#define KVARA_API __attribute__((visibility("default")))
#else
#define KVARA_API
#endif

/* ---- Versions ------------------------------------------------------------------------------ */

/* Version of this library (and of its header), the same as the version of its packages and of
 * the programs built with it. KvaraGetSdkVersion() reports something else: the level of the
 * maker's reader interface the library keeps to (119 is 1.19), which does not change with new
 * versions of the library. */
#define KVARA_VERSION_MAJOR 1
#define KVARA_VERSION_MINOR 0
#define KVARA_VERSION_PATCH 0

/**
 * Level of the maker's reader interface (the SDK) times 100: 119 is SDK 1.19. It names the
 * set of functions and their behaviour that programs written for the maker's SDK rely on, and
 * stays 119 whatever the library's own version (KVARA_VERSION_MAJOR/MINOR/PATCH) is.
 * @return 119.
 */
KVARA_API int KvaraGetSdkVersion(void);

/* ---- Error codes --------------------------------------------------------------------------- */

/*
 * KvaraGetLastError returns 0 while nothing has failed, else the code of the reader's last
 * failure: a status byte the reader answered with (1-255), or a code the library set itself.
 * The library's codes below 256 lie in the range of reader statuses; two numbers are both a
 * reader status and a code of the library's own (KVARA_ERROR_DATA_COUNT,
 * KVARA_ERROR_NO_TRANSPONDER).
 * KvaraErrorText gives the English text of every code.
 */

/* Codes the library sets itself. */
#define KVARA_ERROR_NO_PORT 3     /* the handle names no open reader */
#define KVARA_ERROR_TIMEOUT 4     /* no complete answer within the time-out */
#define KVARA_ERROR_BUFFER_SIZE 5 /* the caller's buffer is smaller than the answer */
/* A request longer than a frame can carry (255 bytes): not sent. As the reader's status: the
 * request's data count does not fit the command, refused. */
#define KVARA_ERROR_DATA_COUNT 6
#define KVARA_ERROR_CHECKSUM 10          /* check byte or CRC of the answer wrong */
#define KVARA_ERROR_EMPTY_ANSWER 12      /* the answer is empty */
#define KVARA_ERROR_READER_MODE 13       /* reader mode out of range */
#define KVARA_ERROR_WORD_ADDRESS 15      /* word address outside 0-65535 */
#define KVARA_ERROR_POWER_ANSWER 20      /* transmit power answer shorter than 2 bytes */
#define KVARA_ERROR_PORT_BUSY 256        /* the reader is still waiting for another command */
#define KVARA_ERROR_INVALID_ARGUMENT 257 /* NULL pointer, negative length, value out of range */
/* Not sent: the line could not be proven in step; see "Late, extra and garbled answers". */
#define KVARA_ERROR_OUT_OF_STEP 258
/* The answer is not this command's (an earlier one's): outcome unknown; see there. */
#define KVARA_ERROR_FOREIGN_ANSWER 259

/* Status codes of the reader's answers that the library and its callers meet (a reader may
 * answer others; KvaraErrorText names the ones it knows). */
/* No tag answers (no valid transponder in the field, or not the selected one). The library
 * stores it too for a write that does not read back as written (see KvaraWriteBank). */
#define KVARA_ERROR_NO_TRANSPONDER 21
#define KVARA_ERROR_COLLISION 23          /* more than one tag answered */
#define KVARA_ERROR_UNKNOWN_COMMAND 24    /* the reader does not know the command */
#define KVARA_ERROR_MEMORY_OVERRUN 26     /* address or count beyond the end of the bank */
#define KVARA_ERROR_MEMORY_LOCKED 27      /* the memory area is locked */
#define KVARA_ERROR_WRONG_PASSWORD 28     /* the access password is wrong */
#define KVARA_ERROR_VALUE_OUT_OF_RANGE 29 /* the reader does not accept a parameter's value */

/**
 * The reader error code of the last failure on this reader (see the conventions above).
 * @return the code (0 when nothing failed yet); KVARA_ERROR_NO_PORT when the handle names no
 *         open reader.
 */
KVARA_API int KvaraGetLastError(int handle);

/* ---- Memory banks, lock areas and lock actions --------------------------------------------- */

/* The memory banks of a Gen2 tag (the bank argument of the read, write and select functions). */
#define KVARA_BANK_RESERVED 0 /* kill password (bytes 0-3), access password (bytes 4-7) */
#define KVARA_BANK_EPC 1      /* stored CRC (2 bytes), PC word (2), EPC */
#define KVARA_BANK_TID 2      /* the chip's maker and model, often a serial number */
#define KVARA_BANK_USER 3     /* User memory, where the chip has any */

/* The areas KvaraLock locks (its area argument). Numbered apart from the banks: the two
 * passwords of the Reserved bank are areas of their own. */
#define KVARA_AREA_KILL_PASSWORD 0   /* Reserved bank, bytes 0-3 */
#define KVARA_AREA_ACCESS_PASSWORD 1 /* Reserved bank, bytes 4-7 */
#define KVARA_AREA_EPC 2             /* the EPC bank */
#define KVARA_AREA_TID 3             /* the TID bank */
#define KVARA_AREA_USER 4            /* the User bank */

/* The lock actions of KvaraLock (its action argument). The permanent ones cannot be undone. */
#define KVARA_LOCK_UNLOCKED 0       /* writable without password */
#define KVARA_LOCK_PERMA_UNLOCKED 1 /* writable without password, for good */
/* Writable only with the access password (the password areas also readable only with it). */
#define KVARA_LOCK_LOCKED 2
#define KVARA_LOCK_PERMA_LOCKED 3 /* never writable again (the password areas never readable) */

/* ---- Opening and closing readers ----------------------------------------------------------- */

/* The line settings of a serial link (the parityIndex argument of KvaraOpenPort); data bits
 * are always 8. */
#define KVARA_PARITY_NONE 0        /* no parity, 1 stop bit */
#define KVARA_PARITY_EVEN 1        /* even parity, 1 stop bit */
#define KVARA_PARITY_ODD 2         /* odd parity, 1 stop bit */
#define KVARA_PARITY_NONE_2_STOP 3 /* no parity, 2 stop bits */

/**
 * Opens a reader by name and identifies it with the device type command.
 *
 * The name selects the link: a dotted network address (at least three dots, the first not at
 * the start) or a name beginning with "[" is a network reader; otherwise a name containing
 * "HID" is a USB HID reader; otherwise it is a serial link: a COM name (the path of a terminal
 * device such as /dev/ttyUSB0 or a symlink to one, or COMn meaning /dev/ttyS(n-1), optionally
 * behind "\\.\") opens a serial port, any other name an FTDI device by serial number. A suffix ":n"
 * gives the reader's bus address n (default 1) and is cut off the name.
 *
 * Up to six attempts are made while the link does not open (for a network reader, fewer when
 * its time runs out; see below). The reader is asked in framing mode 0 first, then mode 1; it
 * counts as opened only when it answers with four hexadecimal digits and the queries after that
 * prove the answer was its own (see "Late, extra and garbled answers"; an answer of another
 * shape is asked for once more, since it may have been a late one).
 *
 * Network readers are reached over TCP: "a.b.c.d" at port 10001, "a.b.c.d-port" at that port,
 * "[name]" or "[name]a.b.c.d-port" at the address and port of the reader that answers to the
 * name in a discovery (KvaraFindLanReaders). The connection leaves from the local adapter whose
 * subnet holds the reader (127.0.0.1 for a loopback address); a reader reachable only through
 * a router does not open. When the reader closes the connection, the next command connects
 * again. When the connection opens but the reader does not identify itself, its configuration
 * (record 0) is nudged over the configuration link and six more attempts follow.
 *
 * Time bound: identifying the reader over an open link takes at most 10 x timeoutMs. For a
 * network reader, name resolution, the connect attempts (each given up after 5 s) and the
 * nudge together take at most 15 s, and identifying comes on top at most twice (before and
 * after the nudge). So the call returns within 15 s + 20 x timeoutMs; a reader that never
 * answers a connect costs 15 s. Meanwhile pending window messages are dispatched through the
 * hooks of KvaraSetUiHooks, at least every few milliseconds.
 *
 * @param[in] name       reader name; must not be NULL.
 * @param[in] baudRate   baud rate for names beginning with "COM" (any case) or "/";
 *                       every other name is opened at 19200 baud.
 * @param[in] parityIndex KVARA_PARITY_NONE, KVARA_PARITY_EVEN, KVARA_PARITY_ODD or
 *                       KVARA_PARITY_NONE_2_STOP; any other value: no parity, 1 stop bit.
 * @param[in] timeoutMs  time-out of each waiting phase of a command, in milliseconds.
 * @return the reader handle (> 0); -1 when the link did not open (also for a NULL name);
 *         -2 for a negative time-out (nothing is touched); -11 when the link opened but no
 *         reader identified itself. No error code is kept for a failed open
 *         (KvaraGetLastError then returns KVARA_ERROR_NO_PORT); KvaraGetOpenError says why.
 */
KVARA_API int KvaraOpenPort(const char* name, int baudRate, int parityIndex, int timeoutMs);

/**
 * Why the calling thread's last KvaraOpenPort failed, in English, for a message to the user:
 * the system's error for the device or connection ("No such file or directory", "Connection
 * refused"), the group to join when the user may not open a serial device, "in use by another
 * program", or that the port opened but no reader answered there. Empty after an open that
 * succeeded. The library's log (KvaraSetLogHandler) gets the same cause with the name.
 * @param[out] buffer receives the zero-terminated text (UTF-8).
 * @return the bytes written including the zero, 0 when the text does not fit (nothing written).
 */
KVARA_API int KvaraGetOpenError(char* buffer, int size);

/**
 * Closes a reader and forgets its handle. A command of another thread that waits for this
 * reader ends at once (it fails); the close returns as soon as it has.
 * @return 0; -1 for a handle that names no open reader, or (KVARA_ERROR_PORT_BUSY) when called
 *         from a window message dispatched during a command's wait on this reader.
 */
KVARA_API int KvaraClosePort(int handle);

/**
 * Device type command (0xF0): four ASCII characters, three hexadecimal digits of the model
 * code and one digit of the firmware version.
 * @param[out] buffer     receives the answer bytes (not zero-terminated).
 * @param[in]  size       size of buffer; a longer answer gives KVARA_ERROR_BUFFER_SIZE and -1.
 * @param[out] nameBuffer receives the model name ("Kvara P20", ...; "" for a code not in the
 *                        table, "---" for an answer shorter than 3 bytes), zero-terminated,
 *                        only when it fits; may be NULL.
 * @param[in]  nameSize   size of nameBuffer.
 * @return the number of answer bytes, or -1.
 */
KVARA_API int KvaraGetDeviceType(int handle, unsigned char* buffer, int size, char* nameBuffer,
                                 int nameSize);

/**
 * Whether the reader is attached by USB without a COM port.
 * @return 1 for a HID or FTDI reader, 0 for a COM port or network reader, -1 for a handle that
 *         names no open reader.
 */
KVARA_API int KvaraIsUsbLink(int handle);

/* ---- Tags: inventory, select, read, write, lock -------------------------------------------- */

/* The parameter of KvaraInventory. */
#define KVARA_INVENTORY_FIRST 0 /* start a new inventory and deliver its first tag */
#define KVARA_INVENTORY_NEXT 2  /* deliver the next tag of the running inventory */

/**
 * Inventory command (0xC0): one tag per call. Byte 0 of the answer is the number of tags still
 * to be delivered, this one included (0: no tag); bytes 1-2 belong to the reader; the EPC
 * follows from byte 3.
 * @param[in]  parameter KVARA_INVENTORY_FIRST starts a new inventory and delivers the first
 *                       tag, KVARA_INVENTORY_NEXT delivers the next one; other values are
 *                       passed to the reader (low 8 bits).
 * @param[out] buffer    receives the answer data.
 * @param[in]  size      size of buffer. A longer answer is not an error: only the first
 *                       (size / 16) * 16 bytes are copied.
 * @return the number of bytes copied, or -1.
 */
KVARA_API int KvaraInventory(int handle, int parameter, unsigned char* buffer, int size);

/**
 * Select command (0xC2): later reads, writes and locks act on the tag with this EPC.
 * @param[in] epc       EPC bytes; NULL with epcLength 0 sends the command without EPC.
 * @param[in] epcLength 0-255.
 * @return 0, or -1.
 */
KVARA_API int KvaraSelectTag(int handle, const unsigned char* epc, int epcLength);

/**
 * Read command (0xC3) from a word address to the end of the bank (count 0), no password.
 * @param[in]  bank        KVARA_BANK_RESERVED, KVARA_BANK_EPC, KVARA_BANK_TID or
 *                         KVARA_BANK_USER.
 * @param[in]  wordAddress 0-65535; anything else gives KVARA_ERROR_WORD_ADDRESS and nothing is
 *                         sent.
 * @param[out] buffer      receives the bytes read.
 * @param[in]  size        size of buffer; a longer answer gives KVARA_ERROR_BUFFER_SIZE and -1.
 * @return the number of bytes read, or -1.
 */
KVARA_API int KvaraReadBank(int handle, int bank, int wordAddress, unsigned char* buffer, int size);

/**
 * As KvaraReadBank, with the tag's 4-byte access password (sent in the order given; must not
 * be NULL).
 */
KVARA_API int KvaraReadBankPwd(int handle, int bank, int wordAddress, const unsigned char* password,
                               unsigned char* buffer, int size);

/**
 * Read command (0xC3) of count bytes (its low 8 bits are sent; 0 reads to the end of the
 * bank), no password. count is also the size of buffer.
 * @return the number of bytes read, or -1 (KVARA_ERROR_BUFFER_SIZE when the reader returns
 *         more than count; KVARA_ERROR_FOREIGN_ANSWER when it returns fewer, up to 254 (the
 *         most a fixed answer carries): not the answer to this read; a negative count or a
 *         NULL buffer with count > 0 fails before sending).
 */
KVARA_API int KvaraReadBytes(int handle, int bank, int wordAddress, unsigned char* buffer,
                             int count);

/** As KvaraReadBytes, with the 4-byte access password (must not be NULL). */
KVARA_API int KvaraReadBytesPwd(int handle, int bank, int wordAddress,
                                const unsigned char* password, unsigned char* buffer, int count);

/**
 * Write command (0xC4) of length bytes at a word address. When the reader reports
 * KVARA_ERROR_NO_TRANSPONDER, the area is read back: the write counts as done (0, code 0
 * stored) when every byte reads back as written, otherwise it fails with
 * KVARA_ERROR_NO_TRANSPONDER. A write the reader confirms is read back too in framing mode 0
 * (outside the EPC bank) and after the line had to be proven in step (see "What a caller can
 * rely on"): other bytes there fail it with KVARA_ERROR_NO_TRANSPONDER.
 * @param[in] data   length bytes; may be NULL only when length is 0.
 * @param[in] length 0-251 (bank, address and data must fit one frame; more gives
 *                   KVARA_ERROR_DATA_COUNT).
 * @return 0, or -1.
 */
KVARA_API int KvaraWriteBank(int handle, int bank, int wordAddress, const unsigned char* data,
                             int length);

/**
 * As KvaraWriteBank with the 4-byte access password (command 0xC5; must not be NULL); length
 * 0-247. The read-back after KVARA_ERROR_NO_TRANSPONDER is made without password; the
 * read-back of a write the reader confirmed with the password.
 */
KVARA_API int KvaraWriteBankPwd(int handle, int bank, int wordAddress,
                                const unsigned char* password, const unsigned char* data,
                                int length);

/**
 * Lock command (0xC6).
 * @param[in] area     KVARA_AREA_KILL_PASSWORD, KVARA_AREA_ACCESS_PASSWORD, KVARA_AREA_EPC,
 *                     KVARA_AREA_TID or KVARA_AREA_USER (low 8 bits).
 * @param[in] action   KVARA_LOCK_UNLOCKED, KVARA_LOCK_PERMA_UNLOCKED, KVARA_LOCK_LOCKED
 *                     (password-protected) or KVARA_LOCK_PERMA_LOCKED (low 8 bits). Permanent
 *                     actions cannot be undone on the tag.
 * @param[in] password the 4-byte access password; must not be NULL.
 * @return 0, or -1.
 */
KVARA_API int KvaraLock(int handle, int area, int action, const unsigned char* password);

/* ---- Reader settings: RF field, transmit power, modes; any command ------------------------- */

/* The on argument of KvaraSetRf. */
#define KVARA_RF_OFF 0 /* RF field off */
#define KVARA_RF_ON 1  /* RF field on */

/**
 * RF field command (0xF5): KVARA_RF_OFF or KVARA_RF_ON (low 8 bits of on).
 * @return 0, or -1.
 */
KVARA_API int KvaraSetRf(int handle, int on);

/**
 * Transmit power read (0x07), in tenths of a dBm.
 * @param[out] power receives the power; must not be NULL.
 * @return 0, or -1 (KVARA_ERROR_POWER_ANSWER when the answer is shorter than 2 bytes;
 *         KVARA_ERROR_FOREIGN_ANSWER for a power above 400, which no reader has: not the answer
 *         to this query).
 */
KVARA_API int KvaraGetTxPower(int handle, unsigned short* power);

/**
 * Transmit power write (0x08).
 * @param[in] power tenths of a dBm (low 16 bits).
 * @param[in] store non-zero to keep the value in the reader (low 8 bits are sent).
 * @return 0, or -1.
 */
KVARA_API int KvaraSetTxPower(int handle, int power, int store);

/* The mode argument of KvaraSetReaderMode: a mode 0-3 in the low 7 bits, bit 7 passed on. */
#define KVARA_READER_MODE_DEFAULT 0 /* the mode the Kvara Programmer sets after opening */
#define KVARA_READER_MODE_MAX 3     /* the highest mode the library sends */

/**
 * Reader mode (0xF4). The low 7 bits must be 0 to KVARA_READER_MODE_MAX (else
 * KVARA_ERROR_READER_MODE, nothing sent); bit 7 is passed on.
 * @return 0, or -1.
 */
KVARA_API int KvaraSetReaderMode(int handle, int mode);

/* The mode argument of KvaraSetUsbMode. */
#define KVARA_USB_MODE_HID 1         /* the reader appears as a USB HID device */
#define KVARA_USB_MODE_VIRTUAL_COM 2 /* the reader appears as a virtual COM port (CDC ACM) */

/**
 * USB interface mode (0xFF): KVARA_USB_MODE_HID or KVARA_USB_MODE_VIRTUAL_COM (low 8 bits).
 * The reader re-enumerates on the USB afterwards; close it and look for it again.
 * @return 0, or -1.
 */
KVARA_API int KvaraSetUsbMode(int handle, int mode);

/**
 * Sends any command and returns its answer data.
 * @param[in]  command       command byte (its low 8 bits).
 * @param[in]  payload       payloadLength bytes; may be NULL only when payloadLength is 0.
 * @param[in]  payloadLength 0-255; more gives KVARA_ERROR_DATA_COUNT and nothing is sent.
 * @param[out] buffer        receives the answer data.
 * @param[in]  size          size of buffer; a longer answer gives KVARA_ERROR_BUFFER_SIZE
 *                           and -1.
 * @return the number of answer data bytes, or -1.
 */
KVARA_API int KvaraExecute(int handle, int command, const unsigned char* payload, int payloadLength,
                           unsigned char* buffer, int size);

/* ---- Local devices: serial ports, USB readers, device changes ------------------------------ */

/**
 * The serial ports present, as consecutive zero-terminated texts closed by one more zero byte.
 * Each entry is a device path, followed by " [<description>]" for a device whose description
 * begins with "Quarn" or "Mirel", or by " [Quarn Virtual COM]" for the maker's virtual COM
 * device; entries are sorted by the trailing number of the device name. An entry is written
 * only if it, its zero and the final zero still fit; the first one that does not fit ends the
 * list. Without a device database the legacy ports /dev/ttyS0 to /dev/ttyS254 are probed.
 * @param[out] buffer receives the list.
 * @param[in]  size   size of buffer, at least 1.
 * @return the bytes written including the final zero (1 for no ports); 0 for a NULL buffer or
 *         a size below 1.
 */
KVARA_API int KvaraListComPorts(char* buffer, int size);

/**
 * The maker's USB readers present, by the list convention of KvaraListComPorts: FTDI-based
 * readers by serial number, then HID readers named by their serial number followed by " HID".
 * Only entries whose first four characters read as a number from 5260 to 5269 are written.
 * @return the bytes written including the final zero; 0 for a NULL buffer or a size below 1.
 */
KVARA_API int KvaraListUsbDevices(char* buffer, int size);

/**
 * Whether one of the maker's USB devices is present without a driver that can serve it.
 * @return bit 0 (1): an FTDI-based reader (VID 0403, PID E5A1) that neither the kernel's FTDI
 *         serial driver (bound to it) nor the FTDI D2XX library (libftd2xx.so, loadable) can
 *         serve; bit 1 (2): the maker's virtual COM device (VID 7A3C, PID 0C5D) has no driver;
 *         0 when nothing is missing or the device database cannot be read.
 */
KVARA_API int KvaraCheckUsbDrivers(void);

/**
 * The maker's USB HID readers present that cannot be used because HID support (hidapi,
 * libhidapi-hidraw.so.0) is missing; such readers are not listed by KvaraListUsbDevices.
 * @return the number of such readers, 0 when HID support is there or none is present.
 */
KVARA_API int KvaraCountHidReadersWithoutSupport(void);

/**
 * Whether the virtual COM driver of the maker's USB readers (the kernel's CDC ACM driver) is
 * available, loaded or as a module of the running kernel.
 * @return 1 or 0.
 */
KVARA_API int KvaraIsVirtualComDriverInstalled(void);

/* Device changes reported by KvaraReadDeviceChange. */
#define KVARA_DEVICE_ADDED 1   /* a device was plugged in */
#define KVARA_DEVICE_CHANGED 2 /* a device was removed, or its driver bound or unbound */

/**
 * Opens a monitor of the kernel's device changes (serial ports, USB devices, HID devices),
 * through libudev. Watch the returned descriptor for readability in the caller's event loop,
 * and call KvaraReadDeviceChange each time it is readable.
 * @return the monitor's descriptor (>= 0), or -1 without libudev or without a monitor.
 */
KVARA_API int KvaraOpenDeviceMonitor(void);

/**
 * Takes one pending change from the monitor; does not wait.
 * @param[in] monitor a descriptor from KvaraOpenDeviceMonitor.
 * @return KVARA_DEVICE_ADDED, KVARA_DEVICE_CHANGED, 0 for nothing pending or another change,
 *         -1 for a descriptor that names no open monitor.
 */
KVARA_API int KvaraReadDeviceChange(int monitor);

/** Closes a monitor (closing its descriptor); an unknown descriptor is ignored. */
KVARA_API void KvaraCloseDeviceMonitor(int monitor);

/* ---- Network readers: discovery, reachability, configuration ------------------------------- */

/**
 * Searches the local networks for readers: a record 0 query broadcast on UDP port 30718
 * through each network adapter (up, Ethernet or wireless, not loopback) and only through it,
 * collecting answers on that adapter until 500 ms pass without one, for at most 5 s. Entries,
 * by the list convention of KvaraListComPorts, in ascending byte order without duplicates,
 * each a name that KvaraOpenPort opens the reader by:
 * "[name]a.b.c.d-port" (the address it answered from) for a reader whose configured address
 * is another one, such as a reader that takes its address by DHCP, when its name is usable:
 * 1 to 8 printable ASCII characters without blank, "]" or ":";
 * "a.b.c.d-port" (the address it answered from) for every other reader: one whose configured
 * address is the one it answered from, and one whose name is empty or not usable.
 * A device that reports TCP port 0 is left out; at most 256 entries are kept per adapter.
 * Runs on the calling thread (the main window disabled, the wait cursor shown) and dispatches
 * its pending window messages meanwhile; takes at least 500 ms per adapter, and returns within
 * 10 s however many answers come (the time is shared equally among the adapters).
 * @param[out] buffer receives the list.
 * @param[in]  size   size of buffer, at least 1.
 * @return the bytes written including the final zero (1 when nothing was found); 0 for a NULL
 *         buffer or a size below 1 (nothing is searched then).
 */
KVARA_API int KvaraFindLanReaders(char* buffer, int size);

/**
 * As KvaraFindLanReaders, keeping only the maker's readers: each device found is asked for its
 * setup record 2, and only one whose device text (offset 93) begins with "KV-" in any letter
 * case is listed. A "[name]a.b.c.d-port" entry is listed as "[name]" alone. Takes up to 500 ms
 * more per device, within the same 10 s limit: devices that could not be asked in time are
 * not listed.
 */
KVARA_API int KvaraFindLanReadersEx(char* buffer, int size);

/**
 * Whether a network reader answers an ICMP echo: one request of 16 bytes (0x45) with time to
 * live 30 and do-not-fragment, waiting up to 200 ms; only a reply with the same data counts.
 * A device address behind ":" and a TCP port behind the last "-" are ignored; a bracketed name
 * is first resolved by discovery (up to 200 ms per adapter; no echo is sent when no reader
 * answers to it); any other text is looked up as a host name. Uses an ICMP datagram socket
 * where the system allows one, else a raw socket; without either every check yields 0.
 * @param[in] name address text of the reader; NULL yields 0.
 * @return 1 when the reader answered, else 0.
 */
KVARA_API int KvaraPing(const char* name);

/**
 * Opens the network configuration link to a reader: a UDP endpoint on port 30718 of the first
 * adapter through which the reader answers a record 0 query (500 ms per adapter). The link is
 * registered like an open reader; its handle (20001, ...) shares the range of network readers
 * and is given to KvaraReadNetConfig and KvaraCloseConfigLink. Reader commands on it fail with
 * KVARA_ERROR_TIMEOUT. Runs on the calling thread like KvaraFindLanReaders.
 * @param[in] name address text of the reader ("a.b.c.d", "a.b.c.d-port", "[name]",
 *                 "[name]a.b.c.d-port"; a device address behind ":" is ignored).
 * @return the handle (> 0); -1 when no reader answered, for a name no reader answers to, and
 *         for a NULL name. 0 is reserved for a missing socket service.
 */
KVARA_API int KvaraOpenConfigLink(const char* name);

/**
 * Reads one setup record of the reader on a configuration link. Record 0 (at least 120 bytes)
 * holds the IP settings: bytes 0-3 the configured address (0.0.0.0: DHCP), byte 6 the host
 * bits of the subnet mask, bytes 12-15 the gateway, bytes 20-21 the TCP command port (low byte
 * first), bytes 112-119 the DHCP name (NUL-padded). The query for record 0 is broadcast, the
 * others go to the reader; only the reader's own answer counts (from its address and UDP port
 * 30718), within 500 ms of silence. Datagrams that arrived while the link was idle are thrown
 * away before the query.
 * @param[in]  handle a configuration link from KvaraOpenConfigLink.
 * @param[in]  record 0-15; anything else gives KVARA_ERROR_INVALID_ARGUMENT.
 * @param[out] buffer receives the record.
 * @param[in]  size   size of buffer; a longer record gives KVARA_ERROR_BUFFER_SIZE and -1,
 *                    nothing copied.
 * @return the record's length, or -1 (KVARA_ERROR_TIMEOUT when the reader did not answer;
 *         KVARA_ERROR_PORT_BUSY when called from a window message while another exchange on
 *         the link waits). A handle that names no configuration link fails without storing a
 *         code.
 */
KVARA_API int KvaraReadNetConfig(int handle, int record, unsigned char* buffer, int size);

/**
 * Closes a configuration link and forgets its handle.
 * @param[in] finish non-zero to send the finish datagram to the reader first, which makes it
 *                   take up settings written to it.
 * @return 0; -1 for a handle that names no configuration link (a reader handle included), or
 *         (KVARA_ERROR_PORT_BUSY) while an exchange on the link still waits.
 */
KVARA_API int KvaraCloseConfigLink(int handle, int finish);

/**
 * Changes the IP settings of a network reader over its configuration link. Reads record 0;
 * when the address differs, asks the reader for its identity and broadcasts IP-SETUP with the
 * new address, waits up to 2 s until the new address answers an echo, and opens the link again
 * there (up to 6 attempts). A reader going over to an automatic address is looked for instead
 * by its identity on every adapter for up to 2 s; when no reader, or more than one, answers
 * with it, the call fails without writing anything, since the reader cannot be told apart.
 * When the reader's identity cannot be had, the new address is written into record 0
 * instead. When the port, mask, gateway or name differ, the record is written with the new
 * values (up to 6 attempts, 500 ms apart); only the reader's own acknowledgement (from its
 * address and UDP port 30718) counts. Ends with the finish datagram on the link in use. Runs
 * on the calling thread and takes seconds.
 * @param[in] name       address text of the reader (as for KvaraOpenConfigLink).
 * @param[in] newAddress "a.b.c.d" or "a.b.c.d-port" for a fixed address (port 0 or none: the
 *                       port stays), or "[name]" for an automatic address with that DHCP name
 *                       (cut to 8 characters).
 * @param[in] mask       dotted subnet mask, or empty (or NULL): the mask stays.
 * @param[in] gateway    dotted gateway address, or empty (or NULL): 0.0.0.0.
 * @return 0 on success (also when nothing differs); -1 for a NULL name or new address or a
 *         malformed text (nothing is sent then), the record could not be read or written, or the
 * reader did not answer at its new address or could not be found again (then no finish is sent); or
 * the negative result of KvaraOpenConfigLink for the reader's current address.
 */
KVARA_API int KvaraSetNetworkConfig(const char* name, const char* newAddress, const char* mask,
                                    const char* gateway);

/* ---- Diagnostics: error texts, log and trace ----------------------------------------------- */

/**
 * The English text of an error code as KvaraGetLastError returns it: the reader's status codes
 * and the library's own codes; a code without a text gives "unknown error (n)". (The window
 * shows these codes in its own language; the texts here are for programs and logs.)
 * @param[out] buffer receives the zero-terminated text (UTF-8); may be NULL with size 0.
 * @return the bytes written including the zero, 0 when the text does not fit (nothing written).
 */
KVARA_API int KvaraErrorText(int code, char* buffer, int size);

/* The direction argument of a KvaraTraceHandler. */
#define KVARA_TRACE_SENT 0     /* a frame the library sent to the reader */
#define KVARA_TRACE_RECEIVED 1 /* bytes the library took from the reader as an answer */

/**
 * Called with every frame the library sends to a reader (KVARA_TRACE_SENT) and every answer it
 * takes from one (KVARA_TRACE_RECEIVED), on the thread that runs the command, for traces in
 * support cases. The bytes are whole frames as they went over the link; the pointer is valid
 * only during the call. NULL switches the trace off. Set it before commands run.
 */
typedef void (*KvaraTraceHandler)(int handle, int direction, const unsigned char* bytes, int length,
                                  void* context);
KVARA_API void KvaraSetTraceHandler(KvaraTraceHandler handler, void* context);

/**
 * Receives the library's diagnostic lines, in English (why a port did not open, a missing
 * optional library or entry point). Without a handler, or after NULL, the lines go nowhere
 * unless the environment variable KVARA_DEBUG is set (to anything but 0): then to stderr.
 * The line is valid only during the call.
 */
typedef void (*KvaraLogHandler)(const char* line, void* context);
KVARA_API void KvaraSetLogHandler(KvaraLogHandler handler, void* context);

/* ---- Window integration hooks -------------------------------------------------------------- */

/**
 * What a reader command needs from the application's window system while it waits for an
 * answer. Every member may be NULL (then that step does nothing); windows are opaque pointers
 * the application hands out and gets back. All hooks are called on the thread that runs the
 * reader command.
 */
typedef struct KvaraUiHooks {
    /* Dispatches every pending window message without waiting; non-zero when it did any. */
    int (*pumpPendingMessages)(void);
    /* The last active top-level window (the active popup of the main window, or the main
       window); NULL when there is none. */
    void* (*activeWindow)(void);
    /* The application's main window, or NULL. */
    void* (*mainWindow)(void);
    int (*isWindowEnabled)(void* window);
    void (*enableWindow)(void* window, int enable);
    /* The window holding the keyboard focus, or NULL; setFocus(NULL) removes the focus. */
    void* (*focusWindow)(void);
    void (*setFocus)(void* window);
    void (*beginWaitCursor)(void);
    void (*endWaitCursor)(void);
} KvaraUiHooks;

/**
 * Installs the window-system hooks (copied). Call once at start, before the first reader
 * command. While a command waits, the library then disables the active window and takes the
 * keyboard focus (unless KvaraSetNoWindowLock is set), dispatches pending messages, and gives
 * both back afterwards. Without hooks every command still works.
 * @param[in] hooks the hook table, or NULL to remove all hooks.
 */
KVARA_API void KvaraSetUiHooks(const KvaraUiHooks* hooks);

/**
 * While flag is non-zero, waiting for an answer on this reader leaves the application's active
 * window enabled and its keyboard focus in place (used by a cyclic inventory).
 * @return 1; -1 for a handle that names no open reader.
 */
KVARA_API int KvaraSetNoWindowLock(int handle, int flag);

#ifdef __cplusplus
}
#endif

#endif /* KVARA_H */

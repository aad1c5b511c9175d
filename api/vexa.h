/// \file vexa.h
/// \brief The C interface of libvexa-x86, for C and for every language that
/// can call C functions.
///
/// Every command, setting and service of SKYREL.h has a C function
/// `vexa_...` (the C++ name in lower snake case: PlayShowPage_Net() is
/// vexa_play_show_page_net(), SetReceiveTimeOut() is
/// vexa_set_receive_time_out()), declared from the list in vexa_functions.h.
/// It takes the same arguments in the same order, with texts and addresses
/// as `const char*` (the library never writes into them), and returns the
/// same value: a command returns a result code (enum vexa_result), a builder
/// 0 or 1. The functions are exported by the same shared library as the C++
/// interface under these plain names; link with `-lvexa-x86`.
///
/// When a call returns 1 to 4, vexa_last_reason() says why in words, for
/// the thread that made the call.
///
/// Threads and blocking are as for the C++ functions: network commands run
/// concurrently from any number of threads; the settings are safe from any
/// thread; the show-page model, the multi-part texts and image groups, and
/// the serial port are shared by the whole process and serialised inside
/// the library (see SKYREL.h).
///
/// This header is valid C99 and C++.
#ifndef LIBVEXA_X86_VEXA_H
#define LIBVEXA_X86_VEXA_H

#ifndef __cplusplus
#include <stdbool.h>
#endif

/// \def VEXA_C_API
/// Marks a function of the C interface as exported from the shared library.
#if defined(__GNUC__)
#define VEXA_C_API __attribute__((visibility("default")))
#else
#define VEXA_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// The result codes every command returns.
enum vexa_result {
  VEXA_OK = 0,            ///< The controller accepted the command.
  VEXA_NOT_ACCEPTED = 1,  ///< Not accepted or nothing sent; see vexa_last_reason().
  VEXA_NO_REPLY = 2,      ///< Nothing received: time-out, receive error, connection closed.
  VEXA_STATUS_2 = 3,      ///< The controller refused the command: status "2".
  VEXA_STATUS_3 = 4       ///< The controller refused the command: status "3" (network only).
};

/// A result code in words.
/// \param result a result code, 0 to 4
/// \return a fixed text, "accepted" for 0; "unknown result code" for any
///         other number than 0 to 4. The text belongs to the library.
VEXA_C_API const char* vexa_result_text(int result);

/// The version of the library, "MAJOR.MINOR.PATCH".
/// \return a fixed text that belongs to the library.
VEXA_C_API const char* vexa_version(void);

/// Why the calling thread's last result other than 0 came about, in words.
/// It is kept for results 2, 3 and 4 as well as for 1:
///  - 1 (VEXA_NOT_ACCEPTED): the address that is not dotted IPv4
///    (`address "10.0.0.300" is not dotted IPv4`), the text that does not
///    fit a frame, the serial port that could not be opened, the port
///    outside 1 to 65535, the reply that was not understood;
///  - 2 (VEXA_NO_REPLY): `no reply within 500 ms after 3 attempts`, or on
///    the login link
///    `no controller logged in from 192.0.2.10; 2 logged in: 192.0.2.11`;
///  - 3 and 4 (VEXA_STATUS_2, VEXA_STATUS_3):
///    `controller 192.0.2.10 refused the command: status "2"`.
///
/// A result 0 leaves the reason as it was. Kept for each thread whether the
/// trace (VEXA_TRACE) is on or off.
/// \return the reason, "" before the thread's first result other than 0.
///         The text belongs to the library and stays valid until the calling
///         thread's next call of a library function.
VEXA_C_API const char* vexa_last_reason(void);

/// The controller's bitmap of an image file: the C form of
/// ImageContentBuffer(), filling a pointer and a length instead of
/// returning a pair. The bitmap layout is described there.
/// \param source     path of a BMP or PNG file
/// \param colourMode colour mode 0, 1 or 2
/// \param width      bitmap width in pixels, 1 to 4096
/// \param height     bitmap height in pixels, 1 to 4096
/// \param bitmap     receives the bitmap's first byte, or null when the image
///                   cannot be read; the bytes belong to the library and stay
///                   valid until the calling thread reads its next image (with
///                   this function, an image group or a multimedia upload); do
///                   not release them
/// \param length     receives the number of bytes,
///                   width * height * (colourMode + 1) / 8, or 0
/// \return 0 with the bitmap; 1 when the image cannot be read, the size or
///         colour mode is out of range, or \p source, \p bitmap or \p length
///         is null; vexa_last_reason() says which, and why an image cannot
///         be read ("image "logo.png": No such file or directory").
/// Blocks for reading and decoding the file; any thread.
VEXA_C_API int vexa_image_content_buffer(const char* source, int colourMode, int width,
                                         int height, const unsigned char** bitmap,
                                         int* length);

/// The local date or time as text: the C form of currentDateToString().
/// \param mode 0 for the date "YYYYMMDD", any other value for the time
///             "hh:mm:ss"
/// \return the text; it belongs to the library and stays valid until the
///         calling thread's next call of this function.
VEXA_C_API const char* vexa_current_date_to_string(int mode);

/// Empties the show-page model: every page, area and material added since
/// the last successful upload is discarded. Use it to start a page set
/// afresh after a builder refused a call or an upload failed (a failed
/// upload keeps the model). Any thread; it waits for an upload in progress.
VEXA_C_API void vexa_clear_show_pages(void);

/// Declares one function of the list in vexa_functions.h.
#define VEXA_FUNCTION(ret, name, cxx, params) VEXA_C_API ret name(VEXA_C_PARAMS(params));
#include "vexa_functions.h"
#undef VEXA_FUNCTION

#ifdef __cplusplus
}
#endif

#endif  // LIBVEXA_X86_VEXA_H

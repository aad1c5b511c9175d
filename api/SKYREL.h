/// \file SKYREL.h
/// \brief The interface of libvexa-x86: commands for the LED sign controllers
/// of queue-calling halls, sent over the network or a serial line.
///
/// Every command function encodes one command, sends it to one controller and
/// returns a \ref results "result code". Texts are passed through byte for
/// byte: the library converts no character set, so pass them in the encoding
/// the sign displays. A null text or address is refused with result 1 and
/// nothing is sent. No exception ever leaves a function of this interface.
///
/// \section readonly Texts and addresses are only read
/// The library never writes into the texts, addresses, times and file names
/// it is given: every `char*` parameter is read only, and no pointer to it
/// is kept after the call returns (what the library keeps, such as the
/// local address of BindNetworkCard() or the texts of the show-page
/// builders, it copies). The parameters are `char*` rather than
/// `const char*` only because the exported names carry their types and
/// stay as they are. A caller that holds `const char*` texts (string
/// literals, `std::string::c_str()`) passes them as
/// `const_cast<char*>(text)`, which is safe for exactly this reason, or
/// calls the C interface vexa.h, whose functions take `const char*` and
/// forward to these.
///
/// \section results Result codes
/// Every command function returns an `int`:
///  - 0: the controller accepted the command;
///  - 1: not accepted or nothing sent: a bad argument (null text, an address
///    that is not dotted IPv4, a payload too large for one 3000-byte frame), a
///    socket or serial port that could not be opened, a refused connection, an
///    unrecognised reply;
///  - 2: nothing received (time-out, receive error, connection closed);
///  - 3: the controller refused the command: its reply carried status "2";
///  - 4: the controller refused the command: its reply carried status "3"
///    (network only: the serial line does not tell status "3" apart from a
///    reply it does not understand, and gives 1).
///
/// The protocol names statuses "2" and "3" only as refusals, without a
/// reason; the library keeps them apart and gives them no further meaning.
/// A refusal means the frame reached a controller that answered. Over the
/// network it ends the call at once, without further attempts.
///
/// Whatever the result, 1 to 4, the reason in words is kept for the calling
/// thread (the C interface's vexa_last_reason()), for example
/// `address "10.0.0.300" is not dotted IPv4`,
/// `no reply within 500 ms after 3 attempts`,
/// `no controller logged in from 192.0.2.10; 2 logged in: 192.0.2.11` or
/// `controller 192.0.2.10 refused the command: status "2"`; a result 0
/// leaves it as it was.
///
/// \section netmodes Network modes
/// Network functions (`..._Net`) take the controller's dotted IPv4 address
/// (`ip`, e.g. "192.168.1.100") and a network mode (`networkMode`):
///  - 2: a TCP connection to the controller's port 8900;
///  - 3: the connection the controller opened to this library's login server
///    (see OpenServer()), found by the controller's address;
///  - any other value (1 by convention): UDP datagrams to the controller's
///    port 8800, sent from the local address and port set with
///    BindNetworkCard() (default: any address, port 8801); frames longer than
///    1408 bytes go out as several datagrams.
///
/// \section serial Serial arguments
/// Serial functions (`..._Com`) take, in place of the address and network
/// mode:
///  - `deviceAddress`: the controller's RS-485 bus address, one number ("5")
///    or eight numbers joined by "_" ("0_0_0_0_0_0_0_5"); read only when the
///    command goes out in the RS-485 frame;
///  - `serialProtocol`: 2 sends the RS-485 frame that carries the bus address
///    (a command without an RS-485 form is then refused with 1 and nothing is
///    sent); any other value sends the network frame unchanged;
///  - `portNumber`: n of the device file `COMn` in the process's working
///    directory (link it to the real device: `ln -s /dev/ttyUSB0 COM1`);
///  - `baudRate`: compared with the open port's; a different value (or
///    another port number) reopens the port. The line always runs at 9600
///    baud, 8 data bits, no parity, one stop bit.
///
/// The port stays open between calls until CloseCom().
///
/// \section blocking How long a call blocks
/// A call returns when the controller has answered or its time is up.
///  - <b>One network transmission</b> makes SetReSendTimes() + 1 attempts
///    (default 1), stopping at the first judged answer. Each attempt waits
///    up to the receive time-out (SetReceiveTimeOut(), SetTimeOut(); default
///    100 ms) for the reply, plus the protocol's pauses: datagrams none;
///    stream mode 40 ms after each frame, plus the connect, bounded by the
///    send time-out; login link 20 ms after each frame. In stream and
///    login-link modes an attempt whose first wait ends without a reply sends
///    (again) and waits once more, so it can take two receive time-outs. A
///    stream connection that cannot be made ends the call at once, and stream
///    mode makes one attempt only.
///  - <b>One serial transmission</b> makes SetReSendTimes() + 1 attempts
///    (default 1); each takes 25 ms, plus 25 ms when the port is (re)opened,
///    half the receive time-out after each frame written, then the reply wait
///    (receive time-out / 10 × 5 ms) once a reply has begun.
///
/// With the defaults a datagram command to a controller that does not answer
/// returns 2 after about 100 ms.
///
/// \section timeouts Time-outs and late replies
/// The receive time-out (SetReceiveTimeOut(), SetTimeOut(); default 100 ms)
/// is how long each attempt waits for the controller's reply. A reply that
/// arrives after its call's receive time-out, while the next call to the
/// same controller waits for its own reply, is taken as that next call's
/// reply: the protocol carries no sequence number, so the two cannot be told
/// apart. The first call has then returned 2 (or sent its frames again),
/// and the next call returns the verdict of a reply that was not its own.
/// This holds for datagrams and the login link; stream mode opens a new
/// connection for every call. So set the receive time-out above the
/// controller's slowest answer, with room to spare. The \ref trace "trace"
/// gives each reply's arrival time in milliseconds after the attempt's last
/// frame went out (`< reply 20 bytes after 3 ms`), which shows how close to
/// the time-out a controller answers.
///
/// \section trace The trace: VEXA_TRACE
/// Set the environment variable `VEXA_TRACE` before the process starts; it
/// is read once. `1` or `stderr` writes records to standard error; any other
/// text names a file that records are appended to (a FIFO too); unset,
/// empty or `0` leaves the trace off, which costs each call one test.
///
/// Every transmission is one record: the time, the thread, the transport
/// and the peer (for datagrams also the local port actually bound,
/// `udp 192.0.2.10:8800 from :43127`, and, when the port set with
/// BindNetworkCard() could not be bound, the note
/// `bind to :8801 failed (Address already in use); sending from :43127`),
/// each attempt with every frame byte in hex, each reply with its arrival
/// time after the attempt's last frame (`< reply 20 bytes after 3 ms`) or
/// why none came (`< no reply (timed out after 500 ms)`,
/// `< no reply (the connection was closed)`; on the login link also a note
/// such as
/// `no controller logged in from 192.0.2.10; 2 logged in: 192.0.2.11, 192.0.2.12`),
/// and the result with the reply-table row that gave it.
/// Every refused call is one line, `refused:` and the reason. Records are
/// whole lines written at once, so those of several threads never mix.
///
/// The trace never blocks a call: when a record would block (a FIFO, a slow
/// reader), it is dropped, and the next record written says how many were
/// dropped. A reader that has gone away never raises SIGPIPE in the
/// application.
///
/// \section colours Colours of texts
/// The high half of a text's attribute byte, `attrHigh`, is its colour; only
/// its low two bits count: 1 red, 2 green, 3 yellow (red and green lit
/// together), 0 red (so 5 is red and 6 green). vexa-sim's sign page draws
/// texts in these colours. Bar screens take the same colours as their
/// `colour` argument, 1 to 3. When unsure, pass 1 (red), which every sign
/// can show.
///
/// \section wirebytes Options named by their place in the frame
/// Many parameters are controller settings that the library puts into the
/// frame unchanged, each in its field (keeping the low bits the field
/// holds): the style bytes `style1` to `style3` and `textStyle`, `attrLow`,
/// `extraByte`, the date-time options `dtField...`, the image-group play
/// values (`byte5`, `word6`, `word8`, `byte10` to `byte12` and the mode
/// bits), the multimedia bytes 17 and 18, and the bar screens' frame and
/// page bytes. The protocol fixes where each one goes but not what the
/// controller does with it: fonts, effects, speeds and pauses are the
/// controller's own, and vexa-sim, which draws only what the protocol
/// fixes, shows no difference. Each parameter below says what to pass when
/// unsure: usually 0, which leaves the field clear (the show-page builders
/// send 0 in the fields they do not take); the controller's manual may name
/// other values.
///
/// \section threads Threads
///  - Network commands (`..._Net`, one frame): safe from any number of
///    threads at once; sends to different controllers run concurrently (each
///    call has its own socket). In datagram mode concurrent calls compete for
///    the local port set by BindNetworkCard() (default 8801); a call that
///    cannot bind it sends from a port the system picks. A reply is accepted
///    only from the controller's own address.
///  - Settings (BindNetworkCard(), SetTimeOut(), SetReceiveTimeOut(),
///    SetReSendTimes(), SetChnCodeMode()): safe from any thread at any time;
///    they are serialised inside the library, and every send reads the
///    settings once, at its start, so a change takes effect from the next
///    call. Writing the exported `g_...` globals directly is not
///    synchronised: use the setters.
///  - Show-page model (AddShowPage(), AddArea(), the `AddTemplate_...`
///    functions, GenMaterial(), CheckShowPage(), SendTemplateData_Net()): one
///    model per process, each call serialised inside the library
///    (memory-safe from several threads), but the model is shared: threads
///    that build different page sets at once mix them. Build and upload from
///    one thread, or serialise the whole build and upload.
///  - Multi-part texts (`SendMul...`, SendMulMaterial()), image groups
///    (`SendImageGroup...`, SendImageGroupBuffer()) and multimedia uploads
///    (`SendMultimedia...`) share process-wide buffers: one such sequence at a
///    time in the process. The calls are serialised and memory-safe; a
///    sequence belongs to the thread that started it (piece or image 1): a
///    later piece from another thread is refused with 1, and a new piece 1
///    abandons a sequence still open (its owner's next piece is refused with
///    1). So a frame never carries another thread's text.
///  - Serial functions (`..._Com`, the bar-screen functions, CloseCom()): one
///    serial port per process; calls from several threads are safe and run
///    one at a time (serialised inside the library).
///  - Login server (OpenServer(), CloseServer()): any thread. Sends in
///    network mode 3 to different controllers run concurrently; a connection
///    is never closed while a send uses it.
///  - ImageContentBuffer(): safe from any thread; its result stays valid
///    until the next call from the same thread.
///  - WriteLog(), WriteLogThread(), currentDateToString(): any thread.
#ifndef LIBVEXA_X86_SKYREL_H
#define LIBVEXA_X86_SKYREL_H

#include <cstddef>
#include <string>
#include <utility>

/// \def VEXA_API
/// Marks a name of the interface as exported from the shared library.
#if defined(__GNUC__)
#define VEXA_API __attribute__((visibility("default")))
#else
#define VEXA_API
#endif

// ---------------------------------------------------------------------------
/// \name Constants of the protocol
/// @{
constexpr int RECV_LEN = 1024;               ///< Receive buffer requested in stream mode (bytes).
constexpr int MAX_UPD_BUFFER_LEN = 1408;     ///< Largest UDP datagram the sender emits (bytes).
constexpr int MAX_BUFFER_SIZE = 2048;        ///< Image-group chunk (bytes of bitmap per frame).
constexpr int MAX_MEDIA_BUFFER_SIZE = 960;   ///< Multimedia chunk (bytes of bitmap per frame).
constexpr int VEXA_RECORD_SIZE = 3000;       ///< Capacity of one payload or frame (bytes).
constexpr int VEXA_ACCUMULATION_SIZE = 2048; ///< Capacity of the multi-part text buffer (bytes).
constexpr int VEXA_UDP_PORT = 8800;          ///< The controller's datagram port.
constexpr int VEXA_TCP_PORT = 8900;          ///< The controller's stream port.
/// How long the login server waits for a dialled-in controller's answer to
/// its greeting before recording it anyway (milliseconds).
constexpr int VEXA_LOGIN_ANSWER_WAIT_MS = 3000;
/// @}

class GlobalMember;
class CSerialPort;

// ---------------------------------------------------------------------------
/// \name Process-wide settings and state
/// Defined by the library. Read them freely; change the settings only through
/// their setters (writing these variables directly is not synchronised), and
/// leave the state of the library alone.
/// @{
extern VEXA_API int g_send_time_out;        ///< Send time-out in ms (default 100); see SetTimeOut().
extern VEXA_API int g_receive_time_out;     ///< Receive time-out in ms (default 100); see SetTimeOut().
extern VEXA_API int g_send_times;           ///< Attempts per transmission (default 1); see SetReSendTimes().
/// Local address datagrams are sent from; "127.0.0.1" (the default) means any
/// local address. See BindNetworkCard().
extern VEXA_API char* g_network_card_ip;
extern VEXA_API int g_network_card_port;    ///< Local port datagrams are sent from (default 8801).
extern VEXA_API int g_chncode_mode;         ///< Character-code mode; stored only (SetChnCodeMode()).
/// The library's buffer of a multi-part text being gathered, one byte per
/// element.
extern VEXA_API int byteArrAllBuffer[2048];
/// The library's buffer of an image group being gathered; null while no
/// group is open.
extern VEXA_API char* chArrImageBuffer;
extern VEXA_API int g_nArrIndex;            ///< Fill counter of the two buffers above.
extern VEXA_API int g_serverPort;           ///< Port of the login server (OpenServer()).
extern VEXA_API GlobalMember globalMember;  ///< The show-page model and the login server's controllers.
extern VEXA_API CSerialPort serialPort;     ///< The one serial port.
/// @}

// ---------------------------------------------------------------------------
/// \name Connection settings
/// Safe from any thread at any time; a change takes effect from the next
/// send. None of them blocks.
/// @{

/// Sets the local address and port that datagrams (network modes other than
/// 2 and 3) are sent from.
/// \param localIp   a local IPv4 address, copied; "127.0.0.1" means any local
///                  address; null keeps the current address
/// \param localPort local port, 0 to 65535 (0: the system picks one); when it
///                  is taken, a send goes out from a port the system picks
VEXA_API void BindNetworkCard(char* localIp, int localPort);

/// Sets the send and receive time-outs of network sends.
/// \param sendTimeOut    ms; bounds each send and the stream connect; values
///                       below 10 become 10
/// \param receiveTimeOut ms; how long each attempt waits for the reply (and,
///                       on the serial line, the pause after each frame and
///                       the reply wait); values below 10 become 10
VEXA_API void SetTimeOut(int sendTimeOut, int receiveTimeOut);

/// Sets both the send and the receive time-out to one value.
/// \param timeOut ms; values below 10 become 10
VEXA_API void SetReceiveTimeOut(int timeOut);

/// Sets how many times a transmission is repeated when the controller does
/// not answer or answers with something that is not a reply.
/// \param reSendTimes repeats after the first attempt (default 0); negative
///                    values count as 0
VEXA_API void SetReSendTimes(int reSendTimes);

/// Stores a character-code mode; the library converts no texts, so the value
/// has no effect on what is sent.
/// \param chnCodeMode any value; read back from #g_chncode_mode
VEXA_API void SetChnCodeMode(int chnCodeMode);

/// Closes the serial port; the next serial call opens it again.
/// \return 0.
/// Waits for a serial call running on another thread to finish.
VEXA_API int CloseCom();
/// @}

// ---------------------------------------------------------------------------
/// \name Login server
/// Controllers that dial in to the host are greeted with the clock and can
/// then be reached in network mode 3 by their address.
/// @{

/// Starts the login server on its own thread: it accepts controllers on
/// \p port for the rest of the process, greets each new one with the host's
/// clock and records its connection.
///
/// A second OpenServer() on another port opens a second listener beside the
/// first; the controllers recorded so far stay, and both ports feed the one
/// list that network mode 3 searches.
///
/// The server guards the process's resources. It keeps at least a quarter
/// of the process's descriptor limit free for the commands: a dial-in
/// beyond that takes the place of the oldest connection still awaiting its
/// greeting or its answer, and is closed at once when there is none; the
/// trace records each connection closed so. One source address has at most
/// 4 connections awaiting their greeting or answer (more are closed at
/// once), so that one host dialling in over and over cannot fill it. Every
/// waiting connection is accepted at once and two greetings to the same
/// address are at least 50 ms apart, so a controller that does not answer
/// delays no other.
/// \param port TCP port to listen on, 1 to 65535
/// \return 0 when the listener's thread has started, also when the port
///         turns out to be in use (that listener then ends; the others go
///         on); 1 for a port outside 1 to 65535, or when no thread can be
///         started: nothing listens then, and the reason is kept for the
///         calling thread (\ref results) and written to the trace.
/// Does not block; any thread.
VEXA_API int OpenServer(int port);

/// Has no effect: the login server keeps running and the recorded
/// controllers stay reachable.
/// \return 0.
/// Does not block; any thread.
VEXA_API int CloseServer();

/// The login server's loop on the port in #g_serverPort. OpenServer() runs it
/// on a thread of its own; called directly it blocks the caller for the rest
/// of the process (or returns at once when the port cannot be bound).
VEXA_API void TaskThreadExe();
/// @}

// ---------------------------------------------------------------------------
/// \name Log writer
/// Appends titled entries to `vd_logs/VocadisYYYYMMDD.log` under the working
/// directory (created when missing). Safe from any thread.
/// @{

/// Appends one entry: a line with the local time and the title between
/// twenty hyphens on each side, then a line with the time and the message;
/// both end with CR LF. The texts are written unchanged. Failures (no
/// directory, file not writable) are silent.
/// \param title   entry title; null writes an empty title
/// \param message entry text; null writes an empty message
/// Blocks for one append to the file.
VEXA_API void WriteLog(const char* title, const char* message);

/// Like WriteLog(), on a detached thread of its own; the texts are copied
/// before the call returns.
/// \param title   entry title
/// \param message entry text
/// Does not block.
VEXA_API void WriteLogThread(const char* title, const char* message);

/// The local date or time as text.
/// \param mode 0 for the date "YYYYMMDD", any other value for the time
///             "hh:mm:ss"
/// \return the text. Any thread; does not block.
VEXA_API std::string currentDateToString(int mode);
/// @}

// ---------------------------------------------------------------------------
/// \name Play control, brightness and relays
/// Network commands: each sends one frame and blocks for one network
/// transmission (\ref blocking); any thread, concurrently with other network
/// commands (\ref threads). Each returns a result code, 0 to 4
/// (\ref results).
/// @{

/// Makes the sign play show page \p pageNo.
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param pageNo      page number, 0 to 255 (higher values keep their low 8
///                    bits)
/// \return a result code (\ref results).
VEXA_API int PlayShowPage_Net(char* ip, int networkMode, int pageNo);

/// Makes the sign start playing its show pages.
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \return a result code (\ref results).
VEXA_API int StartPlay_Net(char* ip, int networkMode);

/// Makes the sign stop playing its show pages.
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \return a result code (\ref results).
VEXA_API int StopPlay_Net(char* ip, int networkMode);

/// Switches one of the controller's eight relays on or off.
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param relayNo     relay 1 to 8; any other number changes no relay
/// \param action      1 on, 2 off; any other value leaves the relay as it is
/// \return a result code (\ref results).
VEXA_API int RelaySwitch_Net(char* ip, int networkMode, int relayNo, int action);

/// Closes one relay for a time.
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param relayNo     relay 1 to 8; any other number changes no relay
/// \param delay       duration 1 to 16, in the controller's relay time units;
///                    any other value leaves the relay as it is
/// \return a result code (\ref results).
VEXA_API int RelayDelay_Net(char* ip, int networkMode, int relayNo, int delay);

/// Sets the sign's brightness.
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param value1      first brightness value, 0 to 255 (low 8 bits sent)
/// \param value2      second brightness value, 0 to 255 (low 8 bits sent)
/// \return a result code (\ref results).
VEXA_API int SetBright_Net(char* ip, int networkMode, int value1, int value2);
/// @}

// ---------------------------------------------------------------------------
/// \name Clock and date-time display
/// Network commands: one frame, one network transmission (\ref blocking),
/// any thread (\ref threads).
/// @{

/// Shows the running date and time in an area of the sign. The fields
/// `dtField...` are the controller's date-time display options; each keeps
/// only the bits stated. What each option changes in the display is the
/// controller's own (\ref wirebytes); the demonstration program's values,
/// given with each, are a set to start from.
/// \param ip           the controller's dotted IPv4 address
/// \param networkMode  network mode (\ref netmodes)
/// \param materialId   number of the display on the controller, -99999999 to
///                     999999999 (written as nine decimal characters)
/// \param displayMode  colour mode: 0 red, 1 red and green, 2 full colour
/// \param dtField4High option, 0 to 15 (high half of content byte 4); pass 1
///                     when unsure, as the demo does
/// \param dtField4Low  option, 0 to 15 (low half of content byte 4); pass 1
///                     when unsure, as the demo does
/// \param dtField5High option, 0 to 15 (high half of content byte 5); pass 1
///                     when unsure, as the demo does
/// \param dtField5Low  option, 0 to 15 (low half of content byte 5); pass 1
///                     when unsure, as the demo does
/// \param dtField6     option, 0 to 15 (content byte 6); pass 0 when unsure, as
///                     the demo does
/// \param dtField0     option, 0 to 255 (content byte 0); pass 1 when unsure,
///                     as the demo does
/// \param dtField1     option, 0 to 255 (content byte 1); pass 3 when unsure,
///                     as the demo does
/// \param dtTopBit     0 or 1: the top bit of content bytes 2 and 3; pass 1
///                     when unsure, as the demo does
/// \param dtField2     option, 0 to 127 (content byte 2); pass 0 when unsure,
///                     as the demo does
/// \param dtField3     option, 0 to 127 (content byte 3); pass 0 when unsure,
///                     as the demo does
/// \param style3       style byte of the display's block head, 0 to 255; pass 0
///                     when unsure (\ref wirebytes)
/// \param extraByte    byte of the block header, 0 to 255; pass 0 when unsure
///                     (\ref wirebytes)
/// \return a result code (\ref results).
VEXA_API int SendDateTime_Net(char* ip, int networkMode, int materialId, int displayMode,
                              int dtField4High, int dtField4Low, int dtField5High,
                              int dtField5Low, int dtField6, int dtField0, int dtField1,
                              int dtTopBit, int dtField2, int dtField3, int style3,
                              int extraByte);

/// Sets the controller's clock to the host's local time.
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \return a result code (\ref results).
VEXA_API int TimeCheck_Net(char* ip, int networkMode);
/// @}

// ---------------------------------------------------------------------------
/// \name Texts and collected data
/// Network commands (\ref blocking, \ref threads). A text, with its block,
/// must fit one 3000-byte frame (about 2900 bytes of text); a longer one is
/// refused with 1 and nothing is sent. Lengths written into one-byte fields
/// keep their low 8 bits, so keep such texts to 255 bytes.
/// @{

/// Fills a collected-data field of the sign with a short text.
/// \param text        the text, NUL-terminated, in the sign's encoding
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param dataIndex   number of the data field, 0 to 255
/// \param textStyle   text style, 0 to 15 (sent in both halves of the style
///                    byte); pass 0 when unsure (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \return a result code (\ref results). One transmission.
VEXA_API int SendCollectionData_Net(char* text, char* ip, int networkMode, int dataIndex,
                                    int textStyle, int attrHigh, int attrLow);

/// Shows a text at a position of the sign.
/// \param text        the text, NUL-terminated, in the sign's encoding
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param x           left edge in pixels, 0 to 65535
/// \param y           top edge in pixels, 0 to 65535
/// \param textStyle   text style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \return a result code (\ref results). One transmission.
VEXA_API int SendCoordinateText_Net(char* text, char* ip, int networkMode, int x, int y,
                                    int textStyle, int attrHigh, int attrLow);

/// Shows a text in an area of the sign.
/// \param text        the text, NUL-terminated, in the sign's encoding
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param areaWidth   area width in pixels, 0 to 524287 (sent in units of 8
///                    pixels, rounded down)
/// \param areaHeight  area height in pixels, 0 to 65535
/// \param materialId  number of the text on the controller, -99999999 to
///                    999999999
/// \param displayMode colour mode: 0 red, 1 red and green, 2 full colour
/// \param style1      first style byte of the block head, 0 to 255; pass 0 when
///                    unsure (\ref wirebytes)
/// \param style2      second style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param style3      third style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param textStyle   text style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \param levelCode   level: 2 or 3; any other value means level 1; pass 1 when
///                    unsure, as the show-page builders do
/// \param primaryFlag true marks the text as primary ("1"), false as secondary
///                    ("2"); pass true when unsure, as the show-page builders
///                    do
/// \param extraByte   byte of the block header, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \return a result code (\ref results). One transmission.
VEXA_API int SendInternalText_Net(char* text, char* ip, int networkMode, int areaWidth,
                                  int areaHeight, int materialId, int displayMode,
                                  int style1, int style2, int style3, int textStyle,
                                  int attrHigh, int attrLow, int levelCode, bool primaryFlag,
                                  int extraByte);

/// SendInternalText_Net() with the primary mark given as a number and the
/// header byte 0.
/// \param text        the text, NUL-terminated, in the sign's encoding
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param areaWidth   area width in pixels (sent in units of 8 pixels)
/// \param areaHeight  area height in pixels, 0 to 65535
/// \param materialId  number of the text on the controller, -99999999 to
///                    999999999
/// \param displayMode colour mode: 0 red, 1 red and green, 2 full colour
/// \param style1      first style byte of the block head, 0 to 255; pass 0 when
///                    unsure (\ref wirebytes)
/// \param style2      second style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param style3      third style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param textStyle   text style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \param levelCode   level: 2 or 3; any other value means level 1; pass 1 when
///                    unsure, as the show-page builders do
/// \param primaryCode 1 marks the text as primary; any other value as
///                    secondary; pass 1 when unsure
/// \return a result code (\ref results). One transmission.
VEXA_API int SendInternalText_Net_Custom(char* text, char* ip, int networkMode, int areaWidth,
                                         int areaHeight, int materialId, int displayMode,
                                         int style1, int style2, int style3, int textStyle,
                                         int attrHigh, int attrLow, int levelCode,
                                         int primaryCode);

/// One piece of a multi-part collected-data transmission: pieces 1 to
/// \p count - 1 are gathered, piece \p count sends them all in one frame
/// (see SendMulMaterial()).
/// \param text        this piece's text, NUL-terminated
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param dataIndex   number of the data field, 0 to 255
/// \param displayMode accepted, not sent
/// \param textStyle   text style, 0 to 15; pass 0 when unsure (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \param index       number of this piece, 1 to \p count
/// \param count       number of pieces, 1 or more
/// \return 0 for a piece gathered, the result code of the transmission for
///         the last piece, 1 for a piece refused (\ref results).
/// Blocks for one network transmission on the last piece only. One
/// multi-part sequence at a time in the process; it belongs to the thread
/// that sent piece 1 (\ref threads).
VEXA_API int SendMulCollectionData_Net(char* text, char* ip, int networkMode, int dataIndex,
                                       int displayMode, int textStyle, int attrHigh,
                                       int attrLow, int index, int count);

/// One piece of a multi-part internal text: pieces 1 to \p count - 1 are
/// gathered, piece \p count sends them all in one frame (see
/// SendMulMaterial()).
/// \param text        this piece's text, NUL-terminated
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param areaWidth   area width in pixels (sent in units of 8 pixels)
/// \param areaHeight  area height in pixels, 0 to 65535
/// \param materialId  number of the text on the controller, -99999999 to
///                    999999999
/// \param displayMode colour mode: 0 red, 1 red and green, 2 full colour
/// \param style1      first style byte of the block head, 0 to 255; pass 0 when
///                    unsure (\ref wirebytes)
/// \param style2      second style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param style3      third style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param textStyle   text style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \param levelCode   level: 2 or 3; any other value means level 1; pass 1 when
///                    unsure, as the show-page builders do
/// \param primaryFlag true marks the text as primary, false as secondary; pass
///                    true when unsure, as the show-page builders do
/// \param extraByte   byte of the block header, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param index       number of this piece, 1 to \p count
/// \param count       number of pieces, 1 or more
/// \return 0 for a piece gathered, the result code of the transmission for
///         the last piece, 1 for a piece refused (\ref results).
/// Blocks for one network transmission on the last piece only; threads as
/// SendMulCollectionData_Net().
VEXA_API int SendMulInternalText_Net(char* text, char* ip, int networkMode, int areaWidth,
                                     int areaHeight, int materialId, int displayMode,
                                     int style1, int style2, int style3, int textStyle,
                                     int attrHigh, int attrLow, int levelCode,
                                     bool primaryFlag, int extraByte, int index, int count);

/// The multi-part sender behind the `SendMul...` functions. Piece 1 starts a
/// new transmission (abandoning one still open); each piece's payload is
/// added to a process-wide buffer of 2048 bytes; the piece with
/// \p index == \p count sends the gathered payloads as one frame.
/// \param transport      1 sends over the network; any other value over the
///                       serial port
/// \param networkMode    network mode (\ref netmodes), network only
/// \param ip             the controller's dotted IPv4 address, network only
/// \param serialProtocol accepted, not read: the serial line always receives
///                       the network frame
/// \param portNumber     serial only: n of the device `COMn`
/// \param baudRate       serial only: see \ref serial
/// \param deviceAddress  accepted, not read
/// \param text           this piece's text, NUL-terminated
/// \param commandCode    0x31 internal text or 0x65 collected data; any other
///                       code adds an empty piece
/// \param materialId     internal text: number of the text; collected data:
///                       number of the data field
/// \param spareValue     accepted, not read
/// \param displayMode    internal text: colour mode 0, 1 or 2
/// \param areaWidth      internal text: area width in pixels
/// \param areaHeight     internal text: area height in pixels
/// \param style1         internal text: first style byte; pass 0 when unsure
///                       (\ref wirebytes)
/// \param style2         internal text: second style byte; pass 0 when unsure
///                       (\ref wirebytes)
/// \param style3         internal text: third style byte; pass 0 when unsure
///                       (\ref wirebytes)
/// \param textStyle      text style; pass 0 when unsure (\ref wirebytes)
/// \param attrHigh       high half of the attribute byte, 0 to 15; the colour:
///                       1 red, 2 green, 3 yellow (\ref colours); pass 1 when
///                       unsure
/// \param attrLow        low half of the attribute byte, 0 to 15; pass 0 when
///                       unsure (\ref wirebytes)
/// \param levelCode      internal text: level 2 or 3, else 1; pass 1 when
///                       unsure, as the show-page builders do
/// \param primaryFlag    internal text: primary (true) or secondary; pass true
///                       when unsure, as the show-page builders do
/// \param extraByte      internal text: byte of the block header; pass 0 when
///                       unsure (\ref wirebytes)
/// \param index          number of this piece, 1 to \p count
/// \param count          number of pieces, 1 or more
/// \return 0 for a piece gathered; the result code of the transmission for
///         the last piece; 1 when \p index or \p count is out of range, the
///         text or address is refused, the gathered bytes would exceed 2048,
///         or the piece belongs to a sequence another thread started
///         (\ref results).
/// Blocks for one network or serial transmission on the last piece only
/// (\ref blocking). One multi-part sequence at a time in the process
/// (\ref threads).
VEXA_API int SendMulMaterial(int transport, int networkMode, char* ip, int serialProtocol,
                             int portNumber, int baudRate, char* deviceAddress, char* text,
                             int commandCode, int materialId, int spareValue, int displayMode,
                             int areaWidth, int areaHeight, int style1, int style2, int style3,
                             int textStyle, int attrHigh, int attrLow, int levelCode,
                             bool primaryFlag, int extraByte, int index, int count);
/// @}

// ---------------------------------------------------------------------------
/// \name Voice
/// Network commands: one frame, one network transmission (\ref blocking),
/// any thread (\ref threads). The spoken text must fit one frame (at most
/// about 2970 bytes).
/// @{

/// Makes the controller speak a text through its voice module.
/// \param text        the text to speak, NUL-terminated, in the encoding the
///                    voice module expects
/// \param ip          the controller's dotted IPv4 address
/// \param spareText   accepted, not read (may be null)
/// \param networkMode network mode (\ref netmodes)
/// \param subCode     sub-code of the frame, 0 to 255; pass 0 when unsure (the
///                    serial forms send 2)
/// \return a result code (\ref results).
VEXA_API int PlayVoice_Net(char* text, char* ip, char* spareText, int networkMode, int subCode);

/// Makes the controller speak a text with voice tags in front of it.
/// \param text        the text to speak, NUL-terminated
/// \param ip          the controller's dotted IPv4 address
/// \param spareText   accepted, not read (may be null)
/// \param networkMode network mode (\ref netmodes)
/// \param subCode     sub-code of the frame, 0 to 255; pass 0 when unsure (the
///                    serial forms send 2)
/// \param vTag        0 or more adds the tag "[vN]" with N = vTag (5 gives
///                    "[v5]"); negative adds none
/// \param soundNo     1, 2 or 3 adds "sound101 ", "sound201 " or "sound301 ";
///                    any other value adds none
/// \param mTag        1 adds "[m3] ", 2 adds "[m51] "; any other value none
/// \return a result code (\ref results).
VEXA_API int PlayVoice2_Net(char* text, char* ip, char* spareText, int networkMode,
                            int subCode, int vTag, int soundNo, int mTag);
/// @}

// ---------------------------------------------------------------------------
/// \name Queue line-up
/// Network commands: one frame, one network transmission (\ref blocking),
/// any thread (\ref threads). The record's length byte is exact for texts of
/// up to 246 bytes (244 bracketed).
/// @{

/// Shows the ticket or queue line being called in a line-up field.
/// \param text        the text, NUL-terminated, in the sign's encoding
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param slotNo      line-up slot, 0 to 255
/// \param lineKind    1 or 2 selects the first or second kind of line; any
///                    other value the plain kind
/// \param unitAddress address of the line-up unit, 0 to 255
/// \param bracketed   true wraps the text in the record's start and end marks
/// \return a result code (\ref results).
VEXA_API int SendLineUpContent(char* text, char* ip, int networkMode, int slotNo,
                               int lineKind, int unitAddress, bool bracketed);

/// The same as SendLineUpContent().
/// \param text        the text, NUL-terminated, in the sign's encoding
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param slotNo      line-up slot, 0 to 255
/// \param lineKind    1 or 2 selects the first or second kind of line; any
///                    other value the plain kind
/// \param unitAddress address of the line-up unit, 0 to 255
/// \param bracketed   true wraps the text in the record's start and end marks
/// \return a result code (\ref results).
VEXA_API int SendLineUp_Net(char* text, char* ip, int networkMode, int slotNo, int lineKind,
                            int unitAddress, bool bracketed);

/// Shows only the last page of a longer text in a line-up field, moving the
/// cut one byte earlier where it would split a two-byte character (bytes
/// above 0x9F count as halves of two-byte characters).
/// \param text        the text, NUL-terminated, in the sign's encoding
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param slotNo      line-up slot, 0 to 255
/// \param lineKind    1 or 2 selects the first or second kind of line; any
///                    other value the plain kind
/// \param unitAddress address of the line-up unit, 0 to 255
/// \param bracketed   true wraps the text in the record's start and end marks
/// \param pageChars   page size in two-byte characters (2 bytes each), 1 or
///                    more
/// \return a result code (\ref results); 1 without sending for an empty
///         text or a page size below 1.
VEXA_API int SendLineUp2_Net(char* text, char* ip, int networkMode, int slotNo, int lineKind,
                             int unitAddress, bool bracketed, int pageChars);
/// @}

// ---------------------------------------------------------------------------
/// \name Image groups and multimedia
/// Pictures are read from BMP (1, 4, 8, 24 or 32 bits per pixel) and PNG
/// files and turned into the controller's bitmap (see ImageContentBuffer()).
/// Image groups and multimedia uploads share one process-wide buffer: one
/// such sequence at a time in the process (\ref threads).
/// @{

/// The controller's bitmap of an image file.
///
/// A bitmap of width x height pixels in colour mode m (0 = red, 1 = red +
/// green, 2 = red + green + blue) takes (m + 1) bit planes. It is one
/// continuous bit stream: plane after plane (red, then green, then blue), in
/// each plane rows top to bottom and in each row pixels left to right, eight
/// pixels per byte, most significant bit first. A pixel's bit is set when its
/// channel is at least half intensity (128 of 255); transparent pixels count
/// as laid over black. The image is scaled to width x height by nearest
/// neighbour.
/// \param source     path of a BMP or PNG file (at most 64 MiB, at most 8192
///                   pixels a side, decodable within 256 MiB of memory); not
///                   a device
/// \param colourMode 0, 1 or 2 (other values are refused)
/// \param width      bitmap width in pixels, 1 to 4096
/// \param height     bitmap height in pixels, 1 to 4096
/// \return the bitmap's bytes and their number, width * height * (m + 1) / 8;
///         a null pointer and 0 when the image cannot be read, or the colour
///         mode or the size is out of range; the reason in words is then
///         written to the trace and kept for the calling thread (the C
///         interface's vexa_last_reason()). The bytes belong to the library
///         and stay valid until the next call from the same thread; do not
///         release them.
/// Blocks for reading and decoding the file; any thread.
VEXA_API std::pair<unsigned char*, int> ImageContentBuffer(char* source, int colourMode,
                                                           int width, int height);

/// Uploads one image of an image group: images 1 to \p count - 1 are
/// gathered, image \p count sends the whole group in frames of 2048 bitmap
/// bytes (see SendImageGroupBuffer()).
/// \param source      path of the image file (BMP or PNG)
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param width       bitmap width in pixels, as for ImageContentBuffer()
/// \param height      bitmap height in pixels, as for ImageContentBuffer()
/// \param materialId  number of the group on the controller, -99999999 to
///                    999999999
/// \param displayMode colour mode 0, 1 or 2 (other values count as 0)
/// \param style1      first style byte of each block, 0 to 255; pass 0 when
///                    unsure (\ref wirebytes)
/// \param style2      second style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param style3      third style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param levelCode   level: 2 or 3; any other value means level 1; pass 1 when
///                    unsure, as the show-page builders do
/// \param primaryFlag true marks the group as primary, false as secondary; pass
///                    true when unsure, as the show-page builders do
/// \param index       position of this image in the group, 1 to \p count
/// \param count       number of images in the group, 1 to 65535
/// \return 0 for an image gathered; the result code of the transmission for
///         the last image; 1 when the image is refused (\ref results).
/// Blocks for one network transmission on the last image only
/// (\ref blocking).
VEXA_API int SendImageGroup_Net(char* source, char* ip, int networkMode, int width, int height,
                                int materialId, int displayMode, int style1, int style2,
                                int style3, int levelCode, bool primaryFlag, int index,
                                int count);

/// The image-group upload behind SendImageGroup_Net() and
/// SendImageGroup_Com(). Image 1 (an \p index below 2) opens a new group
/// (abandoning one still open) sized for \p count images; each later image
/// must come next in order with the same count and colour mode; the image
/// with \p index == \p count sends the group, cut into frames of 2048 bitmap
/// bytes, in one transmission.
/// \param transport      1 sends over the network; any other value over the
///                       serial port
/// \param networkMode    network mode (\ref netmodes), network only
/// \param ip             the controller's dotted IPv4 address, network only
/// \param serialProtocol serial only: 2 (RS-485) has no form of this command:
///                       the group is abandoned and 1 returned
/// \param portNumber     serial only: n of the device `COMn`
/// \param baudRate       serial only: see \ref serial
/// \param deviceAddress  accepted, not read
/// \param source         path of the image file (BMP or PNG)
/// \param width          bitmap width in pixels, as for ImageContentBuffer()
/// \param height         bitmap height in pixels, as for ImageContentBuffer()
/// \param materialId     number of the group on the controller
/// \param displayMode    colour mode 0, 1 or 2 (other values count as 0)
/// \param style1         first style byte of each block, 0 to 255; pass 0 when
///                       unsure (\ref wirebytes)
/// \param style2         second style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param style3         third style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param levelCode      level: 2 or 3; any other value means level 1; pass 1
///                       when unsure, as the show-page builders do
/// \param primaryFlag    true marks the group as primary, false as secondary;
///                       pass true when unsure, as the show-page builders do
/// \param index          position of this image in the group, 1 to \p count
/// \param count          number of images, 1 to 65535 (raised to \p index
///                       when smaller on image 1)
/// \return 0 for an image gathered; the result code of the transmission for
///         the last image; 1 when the image cannot be read, no group is open,
///         the image is out of order or of another size, or the group belongs
///         to another thread (\ref results). A refused image abandons its
///         group.
/// Blocks for one network or serial transmission on the last image only
/// (\ref blocking).
VEXA_API int SendImageGroupBuffer(int transport, int networkMode, char* ip, int serialProtocol,
                                  int portNumber, int baudRate, char* deviceAddress,
                                  char* source, int width, int height, int materialId,
                                  int displayMode, int style1, int style2, int style3,
                                  int levelCode, bool primaryFlag, int index, int count);

/// Uploads one picture as multimedia frames of 960 bitmap bytes each, one
/// transmission per frame (an image group still open is abandoned).
/// \param source      path of the image file (BMP or PNG)
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param form78      true sends the frames with command 0x78 and the
///                    picture's position and size; false with command 0x6C
/// \param horizontal  form 0x78: left edge in pixels (sent in units of 8)
/// \param vertical    form 0x78: top edge in pixels, 0 to 65535
/// \param width       bitmap width in pixels, as for ImageContentBuffer()
///                    (sent in units of 8 with form 0x78)
/// \param height      bitmap height in pixels, as for ImageContentBuffer()
/// \param colourMode  colour mode 0, 1 or 2 (other values count as 0)
/// \param byte17Flag  form 0x6C: nonzero sends 1 in frame byte 17, zero 0; pass
///                    0 when unsure (\ref wirebytes)
/// \param byte18Value form 0x6C: frame byte 18, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \return the result code of the last frame's transmission; 1 when the
///         image cannot be read (\ref results).
/// Blocks for one network transmission per 960 bytes of bitmap
/// (\ref blocking).
VEXA_API int SendMultimedia_Net(char* source, char* ip, int networkMode, bool form78,
                                int horizontal, int vertical, int width, int height,
                                int colourMode, int byte17Flag, int byte18Value);

/// The multimedia upload behind SendMultimedia_Net(), given the command
/// code itself.
/// \param source      path of the image file (BMP or PNG)
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \param commandCode 0x78 (position and size in each frame) or 0x6C
/// \param horizontal  command 0x78: left edge in pixels (sent in units of 8)
/// \param vertical    command 0x78: top edge in pixels, 0 to 65535
/// \param width       bitmap width in pixels (sent in units of 8 with 0x78)
/// \param height      bitmap height in pixels
/// \param colourMode  colour mode 0, 1 or 2 (other values count as 0)
/// \param byte17Flag  other codes: nonzero sends 1 in frame byte 17; pass 0
///                    when unsure (\ref wirebytes)
/// \param byte18Value other codes: frame byte 18, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \return the result code of the last frame's transmission; 1 when the
///         image cannot be read (\ref results).
/// Blocks for one network transmission per 960 bytes of bitmap
/// (\ref blocking).
VEXA_API int SendMultimediaBuffer(char* source, char* ip, int networkMode, short commandCode,
                                  int horizontal, int vertical, int width, int height,
                                  int colourMode, int byte17Flag, int byte18Value);

/// Makes the sign play an image group. The values are the controller's play
/// options, named here by the payload byte they fill; what each changes in
/// the playing is the controller's own (\ref wirebytes).
/// \param ip             the controller's dotted IPv4 address
/// \param networkMode    network mode (\ref netmodes)
/// \param modeSelect     1 sets the mode bits 0x05; 0 sets 0x50 when
///                       \p highModeBits is true; other values set none; pass 0
///                       when unsure (\ref wirebytes)
/// \param groupNo        number of the image group, 0 to 255 (payload byte 0,
///                       followed by its complement)
/// \param byte5          payload byte 5, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param word6          payload bytes 6 and 7, 0 to 65535; pass 0 when unsure
///                       (\ref wirebytes)
/// \param word8          payload bytes 8 and 9, 0 to 65535; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte10         payload byte 10, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte11         payload byte 11, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte12         payload byte 12, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte2Clear     true sends 0 in payload byte 2, false 1; pass true
///                       when unsure (\ref wirebytes)
/// \param highModeBits   with \p modeSelect 0: true sets the mode bits 0x50;
///                       pass false when unsure (\ref wirebytes)
/// \return a result code (\ref results).
/// One transmission (\ref blocking); any thread.
VEXA_API int PlayImageGroup_Net(char* ip, int networkMode, int modeSelect, int groupNo,
                                int byte5, int word6, int word8, int byte10, int byte11,
                                int byte12, bool byte2Clear, bool highModeBits);
/// @}

// ---------------------------------------------------------------------------
/// \name Bar screens (serial line only)
/// One-line text displays on the serial line, sent their own frames (not
/// wrapped in a network or RS-485 frame). With \p serialProtocol 2 nothing is
/// sent and the result is 1. One serial transmission (\ref blocking); serial
/// calls run one at a time (\ref threads).
/// @{

/// Sets a bar screen's parameters.
/// \param serialProtocol 2 sends nothing (result 1); any other value sends
///                       the bar-screen frame as it is
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param frameByte13    parameter frame byte 13, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param frameByte6     parameter frame byte 6, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param frameByte7     parameter frame byte 7, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param twoWay         0 or 1 (other values count as 0), sent as 1 or 2; pass
///                       0 when unsure (\ref wirebytes)
/// \param frameByte9     0 to 7 (other values count as 0); pass 0 when unsure
///                       (\ref wirebytes)
/// \param clearByte14    true sends 0x00 in frame byte 14, false 0x55; pass
///                       false when unsure (\ref wirebytes)
/// \return a result code (\ref results).
VEXA_API int SetParams4BarScreen_Com(int serialProtocol, int portNumber, int baudRate,
                                     int frameByte13, int frameByte6, int frameByte7,
                                     int twoWay, int frameByte9, bool clearByte14);

/// Sends a text to a bar screen, cut into pages of \p pageWidth two-byte
/// characters; the last page is filled with spaces, and on a text of several
/// pages a two-byte character (bytes from 0xA0 up) is not split between two
/// pages.
/// \param text           the text, NUL-terminated, in the screen's two-byte
///                       character set
/// \param serialProtocol 2 sends nothing (result 1); any other value sends
///                       the bar-screen frame as it is
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param screenAddress  address of the screen, 0 to 255
/// \param colour         colour of every character: 1 red, 2 green, 3 yellow
///                       (\ref colours); other values count as 1
/// \param pageWidth      page width in two-byte characters, 1 to 255; the
///                       whole frame must fit 3000 bytes, else result 1
/// \param unused1        accepted and ignored
/// \param unused2        accepted and ignored
/// \param frameWord13    frame bytes 13 and 14, 1 to 65535; 0 is sent as 65535;
///                       pass 0 when unsure (\ref wirebytes)
/// \param moveStyle1     first move style of each page, 0 to 8 (see
///                       getMoveStyle()); pass 0 when unsure (\ref wirebytes)
/// \param moveStyle2     second move style of each page, 0 to 8; pass 0 when
///                       unsure (\ref wirebytes)
/// \param pageByte3      page header byte 3, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param pageByte5      page header byte 5, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param pageByte7      page header byte 7, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param pageByte8      page header byte 8, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte10Is82     true sends 0x82 in frame byte 10, false 0x81; pass
///                       false when unsure (\ref wirebytes)
/// \return a result code (\ref results).
VEXA_API int SendContent2BarScreen_Com(char* text, int serialProtocol, int portNumber,
                                       int baudRate, int screenAddress, int colour,
                                       int pageWidth, int unused1, int unused2,
                                       int frameWord13, int moveStyle1, int moveStyle2,
                                       int pageByte3, int pageByte5, int pageByte7,
                                       int pageByte8, bool byte10Is82);

/// The move-style code a bar screen expects for a move style: 1 and 2 swap,
/// 3 and 4 swap, 0 and 5 to 8 stay.
/// \param moveStyle move style, 0 to 8
/// \return the screen's code; 0 for a style outside 0 to 8. Pure; any
///         thread.
VEXA_API int getMoveStyle(int moveStyle);
/// @}

// ---------------------------------------------------------------------------
/// \name Serial twins
/// The serial forms of the network commands, with the same meaning for the
/// arguments they share; they take the four serial arguments (\ref serial)
/// in place of the address and network mode. One serial transmission
/// (\ref blocking); serial calls run one at a time (\ref threads).
/// @{

/// Serial form of PlayShowPage_Net().
/// \param deviceAddress  RS-485 bus address (\ref serial)
/// \param serialProtocol 2 sends the RS-485 frame, other values the network
///                       frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param pageNo         page number, 0 to 255
/// \return a result code (\ref results).
VEXA_API int PlayShowPage_Com(char* deviceAddress, int serialProtocol, int portNumber,
                              int baudRate, int pageNo);

/// Serial form of StartPlay_Net() (network frame only).
/// \param deviceAddress  not read: this command has no RS-485 form
/// \param serialProtocol 2 sends nothing (result 1); other values send the
///                       network frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \return a result code (\ref results).
VEXA_API int StartPlay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate);

/// Serial form of StopPlay_Net() (network frame only).
/// \param deviceAddress  not read: this command has no RS-485 form
/// \param serialProtocol 2 sends nothing (result 1); other values send the
///                       network frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \return a result code (\ref results).
VEXA_API int StopPlay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate);

/// Serial form of RelaySwitch_Net().
/// \param deviceAddress  RS-485 bus address (\ref serial)
/// \param serialProtocol 2 sends the RS-485 frame, other values the network
///                       frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param relayNo        relay 1 to 8; any other number changes no relay
/// \param action         1 on, 2 off; any other value leaves the relay
/// \return a result code (\ref results).
VEXA_API int RelaySwitch_Com(char* deviceAddress, int serialProtocol, int portNumber,
                             int baudRate, int relayNo, int action);

/// Serial form of RelayDelay_Net().
/// \param deviceAddress  RS-485 bus address (\ref serial)
/// \param serialProtocol 2 sends the RS-485 frame, other values the network
///                       frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param relayNo        relay 1 to 8; any other number changes no relay
/// \param delay          duration 1 to 16 in the controller's relay time
///                       units; any other value leaves the relay
/// \return a result code (\ref results).
VEXA_API int RelayDelay_Com(char* deviceAddress, int serialProtocol, int portNumber,
                            int baudRate, int relayNo, int delay);

/// Serial form of SetBright_Net() (network frame only).
/// \param deviceAddress  not read: this command has no RS-485 form
/// \param serialProtocol 2 sends nothing (result 1); other values send the
///                       network frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param value1         first brightness value, 0 to 255
/// \param value2         second brightness value, 0 to 255
/// \return a result code (\ref results).
VEXA_API int SetBright_Com(char* deviceAddress, int serialProtocol, int portNumber,
                           int baudRate, int value1, int value2);

/// Serial form of TimeCheck_Net(): sets the controller's clock to the host's
/// local time.
/// \param deviceAddress  RS-485 bus address (\ref serial)
/// \param serialProtocol 2 sends the RS-485 frame, other values the network
///                       frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \return a result code (\ref results).
VEXA_API int TimeCheck_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate);

/// Serial form of SendDateTime_Net() (network frame only); the options
/// mean what they mean there.
/// \param deviceAddress  not read: this command has no RS-485 form
/// \param serialProtocol 2 sends nothing (result 1); other values send the
///                       network frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param materialId     number of the display, -99999999 to 999999999
/// \param displayMode    colour mode 0, 1 or 2
/// \param dtField4High   option, 0 to 15; pass 1 when unsure, as the demo does
/// \param dtField4Low    option, 0 to 15; pass 1 when unsure, as the demo does
/// \param dtField5High   option, 0 to 15; pass 1 when unsure, as the demo does
/// \param dtField5Low    option, 0 to 15; pass 1 when unsure, as the demo does
/// \param dtField6       option, 0 to 15; pass 0 when unsure, as the demo does
/// \param dtField0       option, 0 to 255; pass 1 when unsure, as the demo does
/// \param dtField1       option, 0 to 255; pass 3 when unsure, as the demo does
/// \param dtTopBit       0 or 1; pass 1 when unsure, as the demo does
/// \param dtField2       option, 0 to 127; pass 0 when unsure, as the demo does
/// \param dtField3       option, 0 to 127; pass 0 when unsure, as the demo does
/// \param style3         style byte of the block head, 0 to 255; pass 0 when
///                       unsure (\ref wirebytes)
/// \param extraByte      byte of the block header, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \return a result code (\ref results).
VEXA_API int SendDateTime_Com(char* deviceAddress, int serialProtocol, int portNumber,
                              int baudRate, int materialId, int displayMode, int dtField4High,
                              int dtField4Low, int dtField5High, int dtField5Low, int dtField6,
                              int dtField0, int dtField1, int dtTopBit, int dtField2,
                              int dtField3, int style3, int extraByte);

/// Serial form of PlayImageGroup_Net(); the options mean what they mean
/// there.
/// \param deviceAddress  RS-485 bus address (\ref serial)
/// \param serialProtocol 2 sends the RS-485 frame, other values the network
///                       frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param modeSelect     1 sets the mode bits 0x05; 0 sets 0x50 with
///                       \p highModeBits; pass 0 when unsure (\ref wirebytes)
/// \param groupNo        number of the image group, 0 to 255
/// \param byte5          payload byte 5, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param word6          payload bytes 6 and 7, 0 to 65535; pass 0 when unsure
///                       (\ref wirebytes)
/// \param word8          payload bytes 8 and 9, 0 to 65535; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte10         payload byte 10, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte11         payload byte 11, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte12         payload byte 12, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param byte2Clear     true sends 0 in payload byte 2, false 1; pass true
///                       when unsure (\ref wirebytes)
/// \param highModeBits   with \p modeSelect 0: true sets the mode bits 0x50;
///                       pass false when unsure (\ref wirebytes)
/// \return a result code (\ref results).
VEXA_API int PlayImageGroup_Com(char* deviceAddress, int serialProtocol, int portNumber,
                                int baudRate, int modeSelect, int groupNo, int byte5,
                                int word6, int word8, int byte10, int byte11, int byte12,
                                bool byte2Clear, bool highModeBits);

/// Serial form of SendCollectionData_Net().
/// \param text           the text, NUL-terminated, in the sign's encoding
/// \param deviceAddress  RS-485 bus address (\ref serial)
/// \param serialProtocol 2 sends the RS-485 frame, other values the network
///                       frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param dataIndex      number of the data field, 0 to 255
/// \param textStyle      text style, 0 to 15; pass 0 when unsure
///                       (\ref wirebytes)
/// \param attrHigh       high half of the attribute byte, 0 to 15; the colour:
///                       1 red, 2 green, 3 yellow (\ref colours); pass 1 when
///                       unsure
/// \param attrLow        low half of the attribute byte, 0 to 15; pass 0 when
///                       unsure (\ref wirebytes)
/// \return a result code (\ref results).
VEXA_API int SendCollectionData_Com(char* text, char* deviceAddress, int serialProtocol,
                                    int portNumber, int baudRate, int dataIndex, int textStyle,
                                    int attrHigh, int attrLow);

/// Serial form of SendInternalText_Net().
/// \param text           the text, NUL-terminated, in the sign's encoding
/// \param deviceAddress  RS-485 bus address (\ref serial)
/// \param serialProtocol 2 sends the RS-485 frame, other values the network
///                       frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param areaWidth      area width in pixels (sent in units of 8 pixels)
/// \param areaHeight     area height in pixels, 0 to 65535
/// \param materialId     number of the text, -99999999 to 999999999
/// \param displayMode    colour mode 0, 1 or 2
/// \param style1         first style byte of the block head, 0 to 255; pass 0
///                       when unsure (\ref wirebytes)
/// \param style2         second style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param style3         third style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param textStyle      text style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param attrHigh       high half of the attribute byte, 0 to 15; the colour:
///                       1 red, 2 green, 3 yellow (\ref colours); pass 1 when
///                       unsure
/// \param attrLow        low half of the attribute byte, 0 to 15; pass 0 when
///                       unsure (\ref wirebytes)
/// \param levelCode      level 2 or 3; any other value means level 1; pass 1
///                       when unsure, as the show-page builders do
/// \param primaryFlag    true primary, false secondary; pass true when unsure,
///                       as the show-page builders do
/// \param extraByte      byte of the block header, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \return a result code (\ref results).
VEXA_API int SendInternalText_Com(char* text, char* deviceAddress, int serialProtocol,
                                  int portNumber, int baudRate, int areaWidth, int areaHeight,
                                  int materialId, int displayMode, int style1, int style2,
                                  int style3, int textStyle, int attrHigh, int attrLow,
                                  int levelCode, bool primaryFlag, int extraByte);

/// Serial form of SendLineUp_Net() (network frame only).
/// \param text           the text, NUL-terminated, in the sign's encoding
/// \param deviceAddress  not read: this command has no RS-485 form
/// \param serialProtocol 2 sends nothing (result 1); other values send the
///                       network frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param slotNo         line-up slot, 0 to 255
/// \param lineKind       1 or 2 selects the first or second kind of line
/// \param unitAddress    address of the line-up unit, 0 to 255
/// \param bracketed      true wraps the text in start and end marks
/// \return a result code (\ref results).
VEXA_API int SendLineUp_Com(char* text, char* deviceAddress, int serialProtocol,
                            int portNumber, int baudRate, int slotNo, int lineKind,
                            int unitAddress, bool bracketed);

/// Serial form of PlayVoice_Net(), with sub-code 2; with \p serialProtocol
/// 2 the text goes out in the RS-485 voice frame.
/// \param text           the text to speak, NUL-terminated
/// \param deviceAddress  RS-485 bus address, one number (\ref serial)
/// \param serialProtocol 2 sends the RS-485 voice frame, other values the
///                       network frame
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \return a result code (\ref results).
VEXA_API int PlayVoice_Com(char* text, char* deviceAddress, int serialProtocol,
                           int portNumber, int baudRate);

/// Serial form of PlayVoice2_Net(), with sub-code 2; with \p serialProtocol
/// 2 the text goes out in the RS-485 voice frame.
/// \param text           the text to speak, NUL-terminated
/// \param deviceAddress  RS-485 bus address, one number (\ref serial)
/// \param serialProtocol 2 sends the RS-485 voice frame, other values the
///                       network frame
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param vTag           0 or more adds a v tag with this number
/// \param soundNo        1, 2 or 3 adds a sound prefix
/// \param mTag           1 or 2 adds an m tag
/// \return a result code (\ref results).
VEXA_API int PlayVoice2_Com(char* text, char* deviceAddress, int serialProtocol,
                            int portNumber, int baudRate, int vTag, int soundNo, int mTag);

/// Serial form of SendMulCollectionData_Net(): the gathered pieces go out in
/// one network frame with the last piece.
/// \param text           this piece's text, NUL-terminated
/// \param deviceAddress  not read: the serial line receives the network frame
/// \param serialProtocol not read: the serial line receives the network frame
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param dataIndex      number of the data field, 0 to 255
/// \param displayMode    accepted, not sent
/// \param textStyle      text style, 0 to 15; pass 0 when unsure
///                       (\ref wirebytes)
/// \param attrHigh       high half of the attribute byte, 0 to 15; the colour:
///                       1 red, 2 green, 3 yellow (\ref colours); pass 1 when
///                       unsure
/// \param attrLow        low half of the attribute byte, 0 to 15; pass 0 when
///                       unsure (\ref wirebytes)
/// \param index          number of this piece, 1 to \p count
/// \param count          number of pieces, 1 or more
/// \return 0 for a piece gathered, the result code of the transmission for
///         the last piece, 1 for a piece refused (\ref results).
VEXA_API int SendMulCollectionData_Com(char* text, char* deviceAddress, int serialProtocol,
                                       int portNumber, int baudRate, int dataIndex,
                                       int displayMode, int textStyle, int attrHigh,
                                       int attrLow, int index, int count);

/// Serial form of SendMulInternalText_Net(): the gathered pieces go out in
/// one network frame with the last piece.
/// \param text           this piece's text, NUL-terminated
/// \param deviceAddress  not read: the serial line receives the network frame
/// \param serialProtocol not read: the serial line receives the network frame
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param areaWidth      area width in pixels (sent in units of 8 pixels)
/// \param areaHeight     area height in pixels, 0 to 65535
/// \param materialId     number of the text, -99999999 to 999999999
/// \param displayMode    colour mode 0, 1 or 2
/// \param style1         first style byte of the block head, 0 to 255; pass 0
///                       when unsure (\ref wirebytes)
/// \param style2         second style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param style3         third style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param textStyle      text style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param attrHigh       high half of the attribute byte, 0 to 15; the colour:
///                       1 red, 2 green, 3 yellow (\ref colours); pass 1 when
///                       unsure
/// \param attrLow        low half of the attribute byte, 0 to 15; pass 0 when
///                       unsure (\ref wirebytes)
/// \param levelCode      level 2 or 3; any other value means level 1; pass 1
///                       when unsure, as the show-page builders do
/// \param primaryFlag    true primary, false secondary; pass true when unsure,
///                       as the show-page builders do
/// \param extraByte      byte of the block header, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param index          number of this piece, 1 to \p count
/// \param count          number of pieces, 1 or more
/// \return 0 for a piece gathered, the result code of the transmission for
///         the last piece, 1 for a piece refused (\ref results).
VEXA_API int SendMulInternalText_Com(char* text, char* deviceAddress, int serialProtocol,
                                     int portNumber, int baudRate, int areaWidth,
                                     int areaHeight, int materialId, int displayMode,
                                     int style1, int style2, int style3, int textStyle,
                                     int attrHigh, int attrLow, int levelCode,
                                     bool primaryFlag, int extraByte, int index, int count);

/// Serial form of SendImageGroup_Net() (network frame only: with
/// \p serialProtocol 2 the group is abandoned and 1 returned).
/// \param source         path of the image file (BMP or PNG)
/// \param deviceAddress  not read: this command has no RS-485 form
/// \param serialProtocol 2 sends nothing (result 1); other values send the
///                       network frame (\ref serial)
/// \param portNumber     n of the device `COMn` (\ref serial)
/// \param baudRate       see \ref serial
/// \param width          bitmap width in pixels, as for ImageContentBuffer()
/// \param height         bitmap height in pixels, as for ImageContentBuffer()
/// \param materialId     number of the group, -99999999 to 999999999
/// \param displayMode    colour mode 0, 1 or 2
/// \param style1         first style byte of each block, 0 to 255; pass 0 when
///                       unsure (\ref wirebytes)
/// \param style2         second style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param style3         third style byte, 0 to 255; pass 0 when unsure
///                       (\ref wirebytes)
/// \param levelCode      level 2 or 3; any other value means level 1; pass 1
///                       when unsure, as the show-page builders do
/// \param primaryFlag    true primary, false secondary; pass true when unsure,
///                       as the show-page builders do
/// \param index          position of this image in the group, 1 to \p count
/// \param count          number of images in the group, 1 to 65535
/// \return 0 for an image gathered; the result code of the transmission for
///         the last image; 1 when refused (\ref results).
VEXA_API int SendImageGroup_Com(char* source, char* deviceAddress, int serialProtocol,
                                int portNumber, int baudRate, int width, int height,
                                int materialId, int displayMode, int style1, int style2,
                                int style3, int levelCode, bool primaryFlag, int index,
                                int count);

/// @}

// ---------------------------------------------------------------------------
/// \name Show pages
/// Describe a set of show pages in memory (pages with daily time windows,
/// rectangular areas on them, materials in each area), then upload it in one
/// call. Builders return 0 on success and 1 on failure, leaving the model
/// unchanged; they do not block. One model per process: build and upload
/// from one thread, or serialise the whole build and upload (\ref threads).
/// @{

/// Adds show page \p pageNo, or, when it exists, gives it the new time window
/// and removes its areas (it keeps its place in the set).
/// \param pageNo    page number, any int; the key of the page
/// \param startTime start of the daily time window, e.g. "00:00", copied as
///                  it is
/// \param endTime   end of the daily time window, e.g. "23:59"
/// \param pageExtra kept with the page, not sent
/// \return 0; 1 for a null time text.
VEXA_API int AddShowPage(int pageNo, char* startTime, char* endTime, int pageExtra);

/// Adds a rectangular area to show page \p pageNo. A page takes a new area
/// only when its last area already holds a material.
/// \param pageNo     number of a page added with AddShowPage()
/// \param x          left edge in pixels, 0 to 7999 (sent in units of 8)
/// \param y          top edge in pixels, 0 to 999
/// \param areaWidth  width in pixels, 0 to 7999 (sent in units of 8)
/// \param areaHeight height in pixels, 0 to 999
/// \return 0; 1 when there is no such page or its last area is still empty.
VEXA_API int AddArea(int pageNo, int x, int y, int areaWidth, int areaHeight);

/// Adds an internal text to the last area of page \p pageNo (material type 1).
/// \param pageNo      number of a page with at least one area
/// \param text        the text, NUL-terminated, in the sign's encoding; must
///                    not be empty for the upload
/// \param materialId  number of the text on the controller, 0 to 999999999
/// \param displayMode colour mode 0, 1 or 2
/// \param style1      first style byte of the block head, 0 to 255; pass 0 when
///                    unsure (\ref wirebytes)
/// \param style2      second style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param style3      third style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param textStyle   text style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \param unused      accepted and ignored (the material is always primary)
/// \return 0; 1 when the page is missing or has no area, or the text is
///         null.
VEXA_API int AddTemplate_InternalText(int pageNo, char* text, int materialId, int displayMode,
                                      int style1, int style2, int style3, int textStyle,
                                      int attrHigh, int attrLow, bool unused);

/// Adds a collected-data field to the last area of page \p pageNo (material
/// type 2); its material number is drawn at random from 1 to 999999, one no
/// other material of the page set has.
/// \param pageNo      number of a page with at least one area
/// \param text        kept with the material, not sent
/// \param dataIndex   number of the data field, 0 to 255
/// \param displayMode colour mode 0, 1 or 2
/// \param textStyle   text style, 0 to 15; pass 0 when unsure (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \return 0; 1 when the page is missing or has no area, or the text is
///         null.
VEXA_API int AddTemplate_CollectData(int pageNo, char* text, int dataIndex, int displayMode,
                                     int textStyle, int attrHigh, int attrLow);

/// Adds a running date-time display to the last area of page \p pageNo
/// (material type 3); the options mean what they mean for
/// SendDateTime_Net().
/// \param pageNo       number of a page with at least one area
/// \param materialId   number of the display, 0 to 999999999
/// \param displayMode  colour mode 0, 1 or 2
/// \param dtField4High option, 0 to 15; pass 1 when unsure, as the demo does
/// \param dtField4Low  option, 0 to 15; pass 1 when unsure, as the demo does
/// \param dtField5High option, 0 to 15; pass 1 when unsure, as the demo does
/// \param dtField5Low  option, 0 to 15; pass 1 when unsure, as the demo does
/// \param dtField6     option, 0 to 15; pass 0 when unsure, as the demo does
/// \param dtField0     option, 0 to 255; pass 1 when unsure, as the demo does
/// \param dtField1     option, 0 to 255; pass 3 when unsure, as the demo does
/// \param dtTopBit     0 or 1; pass 1 when unsure, as the demo does
/// \param dtField2     option, 0 to 127; pass 0 when unsure, as the demo does
/// \param dtField3     option, 0 to 127; pass 0 when unsure, as the demo does
/// \param style3       style byte of the block head, 0 to 255; pass 0 when
///                     unsure (\ref wirebytes)
/// \param unused       accepted and ignored
/// \return 0; 1 when the page is missing or has no area.
VEXA_API int AddTemplate_DateTime(int pageNo, int materialId, int displayMode,
                                  int dtField4High, int dtField4Low, int dtField5High,
                                  int dtField5Low, int dtField6, int dtField0, int dtField1,
                                  int dtTopBit, int dtField2, int dtField3, int style3,
                                  bool unused);

/// Adds an image group to the last area of page \p pageNo (material type 4);
/// the upload sends the last file of the list, scaled to the area.
/// \param pageNo      number of a page with at least one area
/// \param fileList    image files (BMP or PNG) separated by ","; must name at
///                    least one for the upload
/// \param materialId  number of the group, 0 to 999999999
/// \param displayMode colour mode 0, 1 or 2
/// \param style1      first style byte of the block head, 0 to 255; pass 0 when
///                    unsure (\ref wirebytes)
/// \param style2      second style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \param style3      third style byte, 0 to 255; pass 0 when unsure
///                    (\ref wirebytes)
/// \return 0; 1 when the page is missing or has no area, or the list is
///         null.
VEXA_API int AddTemplate_ImageGroup(int pageNo, char* fileList, int materialId,
                                    int displayMode, int style1, int style2, int style3);

/// Adds a queue line-up field to the last area of page \p pageNo (material
/// type 5); its material number is drawn at random from 1 to 999999, one no
/// other material of the page set has.
/// \param pageNo      number of a page with at least one area
/// \param text        kept with the material, not sent
/// \param style3      third style byte of the block head, 0 to 255; pass 0 when
///                    unsure (\ref wirebytes)
/// \param textStyle   text style, kept with the material; pass 0 when unsure
///                    (\ref wirebytes)
/// \param attrHigh    high half of the attribute byte, 0 to 15; the colour: 1
///                    red, 2 green, 3 yellow (\ref colours); pass 1 when unsure
/// \param attrLow     low half of the attribute byte, 0 to 15; pass 0 when
///                    unsure (\ref wirebytes)
/// \param lineUpIndex number of the line-up field, 0 to 255
/// \param lineUpFlag  kept with the material, not sent
/// \return 0; 1 when the page is missing or has no area, or the text is
///         null.
VEXA_API int AddTemplate_LineUp(int pageNo, char* text, int style3, int textStyle,
                                int attrHigh, int attrLow, int lineUpIndex, bool lineUpFlag);

/// The common builder behind the `AddTemplate_...` functions: adds a material
/// of any type to the last area of page \p pageNo. Arguments a type does not
/// use are ignored.
/// \param pageNo        number of a page with at least one area
/// \param text          the material's text (sent for internal texts only)
/// \param fileList      image group: files separated by ","
/// \param materialType  1 internal text, 2 collected data, 3 date-time, 4 image
///                      group, 5 line-up
/// \param materialId    number of the material, 0 to 999999999 (types 2 and 5
///                      draw one no other material of the set has)
/// \param displayMode   colour mode 0, 1 or 2
/// \param style1        first style byte of the block head, 0 to 255; pass 0
///                      when unsure (\ref wirebytes)
/// \param style2        second style byte, 0 to 255; pass 0 when unsure
///                      (\ref wirebytes)
/// \param style3        third style byte, 0 to 255; pass 0 when unsure
///                      (\ref wirebytes)
/// \param textStyle     text style (type 2: 0 to 15); pass 0 when unsure
///                      (\ref wirebytes)
/// \param attrHigh      high half of the attribute byte, 0 to 15; the colour: 1
///                      red, 2 green, 3 yellow (\ref colours); pass 1 when
///                      unsure
/// \param attrLow       low half of the attribute byte, 0 to 15; pass 0 when
///                      unsure (\ref wirebytes)
/// \param levelSelector level: 2 or 3; any other value means level 1; pass 1
///                      when unsure, as the show-page builders do
/// \param dtField1      date-time option, 0 to 255; pass 3 when unsure, as the
///                      demo does
/// \param dtField4High  date-time option, 0 to 15; pass 1 when unsure, as the
///                      demo does
/// \param dtField4Low   date-time option, 0 to 15; pass 1 when unsure, as the
///                      demo does
/// \param dtField6      date-time option, 0 to 15; pass 0 when unsure, as the
///                      demo does
/// \param dtField0      date-time option, 0 to 255; pass 1 when unsure, as the
///                      demo does
/// \param dtTopBit      date-time option, 0 or 1; pass 1 when unsure, as the
///                      demo does
/// \param dtField2      date-time option, 0 to 127; pass 0 when unsure, as the
///                      demo does
/// \param dtField3      date-time option, 0 to 127; pass 0 when unsure, as the
///                      demo does
/// \param dataIndex     collected data: number of the data field, 0 to 255
/// \param lineUpIndex   line-up: number of the line-up field, 0 to 255
/// \param primaryFlag   true primary, false secondary; pass true when unsure,
///                      as the show-page builders do
/// \param lineUpFlag    line-up: kept with the material, not sent
/// \return 0; 1 when the page is missing or has no area, a text is null, or
///         the type is not 1 to 5.
VEXA_API int GenMaterial(int pageNo, char* text, char* fileList, int materialType,
                         int materialId, int displayMode, int style1, int style2, int style3,
                         int textStyle, int attrHigh, int attrLow, int levelSelector,
                         int dtField1, int dtField4High, int dtField4Low, int dtField6,
                         int dtField0, int dtTopBit, int dtField2, int dtField3, int dataIndex,
                         int lineUpIndex, bool primaryFlag, bool lineUpFlag);

/// Whether the page set is fit for upload: at least one page, every page
/// with an area, every area with a material, no internal text empty.
/// \return true when fit; changes nothing.
VEXA_API bool CheckShowPage();

/// Uploads the whole page set to one controller: the page-set descriptor,
/// then each material in page, area and material order (a refused
/// transmission is repeated once; a material refused twice skips the rest of
/// its area). On result 0 the page set is emptied; otherwise it stays for
/// another try.
/// \param ip          the controller's dotted IPv4 address
/// \param networkMode network mode (\ref netmodes)
/// \return the result code of the last transmission (\ref results); 1
///         without sending when the address is refused, CheckShowPage() is
///         false, the descriptor or a material does not fit one frame (at
///         most about 75 materials per page), or an image group has no file.
/// Blocks for up to two network transmissions for the descriptor (10 ms
/// apart) and for each material, and an image-group upload for each image
/// material (\ref blocking).
VEXA_API int SendTemplateData_Net(char* ip, int networkMode);
/// @}

#endif  // LIBVEXA_X86_SKYREL_H

/// \file vexa_functions.h
/// \brief The list of the C interface's forwarding functions, read by vexa.h.
///
/// Every command, setting and service of SKYREL.h has one C function here,
/// named `vexa_` followed by the C++ name in lower snake case. It takes the
/// same arguments in the same order (texts and addresses as `const char*`,
/// which the library only reads) and returns what the C++ function returns.
///
/// Each entry reads
///
///     VEXA_FUNCTION(return type, C name, C++ function, (KIND, name)(KIND, name)...)
///
/// with one (KIND, name) pair per parameter: TEXT for a `const char*`, INT,
/// BOOL, SHORT, and (VOID, ) for a function without parameters. The list is
/// read more than once: vexa.h defines VEXA_FUNCTION to declare each
/// function, the library defines it to forward each one to its C++ function.
/// Include vexa.h, not this file.
//
// No include guard for the list: it is meant to be read again under another
// VEXA_FUNCTION. The parameter macros below are defined once.
#ifndef VEXA_FUNCTION
#error "vexa_functions.h is read by vexa.h; include vexa.h"
#endif

#ifndef LIBVEXA_X86_VEXA_PARAMETERS
#define LIBVEXA_X86_VEXA_PARAMETERS
// The C type of each parameter kind.
#define VEXA_C_TYPE_TEXT const char*
#define VEXA_C_TYPE_INT int
#define VEXA_C_TYPE_BOOL bool
#define VEXA_C_TYPE_SHORT short
#define VEXA_C_TYPE_VOID void
// VEXA_C_PARAMS((INT, a)(TEXT, b)) gives "int a, const char* b": each pair
// expands to its declaration followed by the name of the macro that takes
// the next pair (two of them in turn, so that neither calls itself); the
// name left after the last pair gets "_END" pasted on and vanishes.
#define VEXA_C_PARAMS(seq) VEXA_C_SEQ_END(VEXA_C_PARAM_FIRST seq)
#define VEXA_C_PARAM_FIRST(kind, name) VEXA_C_TYPE_##kind name VEXA_C_PARAM_A
#define VEXA_C_PARAM_A(kind, name) , VEXA_C_TYPE_##kind name VEXA_C_PARAM_B
#define VEXA_C_PARAM_B(kind, name) , VEXA_C_TYPE_##kind name VEXA_C_PARAM_A
#define VEXA_C_PARAM_A_END
#define VEXA_C_PARAM_B_END
#define VEXA_C_SEQ_END(...) VEXA_C_SEQ_END_(__VA_ARGS__)
#define VEXA_C_SEQ_END_(...) __VA_ARGS__##_END
// VEXA_C_ARGS((INT, a)(TEXT, b)) gives "VEXA_C_PASS_INT(a), VEXA_C_PASS_TEXT(b)"
// in the same way: a reader that calls the functions defines VEXA_C_PASS_TEXT,
// _INT, _BOOL, _SHORT and _VOID to say what each kind of argument becomes.
#define VEXA_C_ARGS(seq) VEXA_C_SEQ_END(VEXA_C_ARG_FIRST seq)
#define VEXA_C_ARG_FIRST(kind, name) VEXA_C_PASS_##kind(name) VEXA_C_ARG_A
#define VEXA_C_ARG_A(kind, name) , VEXA_C_PASS_##kind(name) VEXA_C_ARG_B
#define VEXA_C_ARG_B(kind, name) , VEXA_C_PASS_##kind(name) VEXA_C_ARG_A
#define VEXA_C_ARG_A_END
#define VEXA_C_ARG_B_END
#endif

// ---------------------------------------------------------------------------
// Connection settings

/// Sets the local address and port datagrams are sent from.
/// The C form of BindNetworkCard().
/// \copydetails BindNetworkCard
VEXA_FUNCTION(void, vexa_bind_network_card, BindNetworkCard,
              (TEXT, localIp)(INT, localPort))

/// Sets the send and receive time-outs.
/// The C form of SetTimeOut().
/// \copydetails SetTimeOut
VEXA_FUNCTION(void, vexa_set_time_out, SetTimeOut,
              (INT, sendTimeOut)(INT, receiveTimeOut))

/// Sets the send and the receive time-out to one value.
/// The C form of SetReceiveTimeOut().
/// \copydetails SetReceiveTimeOut
VEXA_FUNCTION(void, vexa_set_receive_time_out, SetReceiveTimeOut,
              (INT, timeOut))

/// Sets how many times a transmission is repeated.
/// The C form of SetReSendTimes().
/// \copydetails SetReSendTimes
VEXA_FUNCTION(void, vexa_set_re_send_times, SetReSendTimes,
              (INT, reSendTimes))

/// Stores a character-code mode (it changes nothing that is sent).
/// The C form of SetChnCodeMode().
/// \copydetails SetChnCodeMode
VEXA_FUNCTION(void, vexa_set_chn_code_mode, SetChnCodeMode,
              (INT, chnCodeMode))

/// Closes the serial port; the next serial call opens it again.
/// The C form of CloseCom().
/// \copydetails CloseCom
VEXA_FUNCTION(int, vexa_close_com, CloseCom,
              (VOID, ))

// ---------------------------------------------------------------------------
// Login server

/// Starts the login server on a thread of its own.
/// The C form of OpenServer().
/// \copydetails OpenServer
VEXA_FUNCTION(int, vexa_open_server, OpenServer,
              (INT, port))

/// Has no effect: the login server keeps running.
/// The C form of CloseServer().
/// \copydetails CloseServer
VEXA_FUNCTION(int, vexa_close_server, CloseServer,
              (VOID, ))

/// Runs the login server's loop on the calling thread.
/// The C form of TaskThreadExe().
/// \copydetails TaskThreadExe
VEXA_FUNCTION(void, vexa_task_thread_exe, TaskThreadExe,
              (VOID, ))

// ---------------------------------------------------------------------------
// Log writer

/// Appends a titled entry to the daily log file.
/// The C form of WriteLog().
/// \copydetails WriteLog
VEXA_FUNCTION(void, vexa_write_log, WriteLog,
              (TEXT, title)(TEXT, message))

/// Appends a titled entry to the daily log file from a thread of its own.
/// The C form of WriteLogThread().
/// \copydetails WriteLogThread
VEXA_FUNCTION(void, vexa_write_log_thread, WriteLogThread,
              (TEXT, title)(TEXT, message))

// ---------------------------------------------------------------------------
// Network commands

/// Makes the sign play show page \p pageNo.
/// The C form of PlayShowPage_Net().
/// \copydetails PlayShowPage_Net
VEXA_FUNCTION(int, vexa_play_show_page_net, PlayShowPage_Net,
              (TEXT, ip)(INT, networkMode)(INT, pageNo))

/// Makes the sign start playing its show pages.
/// The C form of StartPlay_Net().
/// \copydetails StartPlay_Net
VEXA_FUNCTION(int, vexa_start_play_net, StartPlay_Net,
              (TEXT, ip)(INT, networkMode))

/// Makes the sign stop playing its show pages.
/// The C form of StopPlay_Net().
/// \copydetails StopPlay_Net
VEXA_FUNCTION(int, vexa_stop_play_net, StopPlay_Net,
              (TEXT, ip)(INT, networkMode))

/// Switches one of the controller's relays on or off.
/// The C form of RelaySwitch_Net().
/// \copydetails RelaySwitch_Net
VEXA_FUNCTION(int, vexa_relay_switch_net, RelaySwitch_Net,
              (TEXT, ip)(INT, networkMode)(INT, relayNo)(INT, action))

/// Closes one relay for a time.
/// The C form of RelayDelay_Net().
/// \copydetails RelayDelay_Net
VEXA_FUNCTION(int, vexa_relay_delay_net, RelayDelay_Net,
              (TEXT, ip)(INT, networkMode)(INT, relayNo)(INT, delay))

/// Sets the sign's brightness.
/// The C form of SetBright_Net().
/// \copydetails SetBright_Net
VEXA_FUNCTION(int, vexa_set_bright_net, SetBright_Net,
              (TEXT, ip)(INT, networkMode)(INT, value1)(INT, value2))

/// Shows the running date and time in an area of the sign.
/// The C form of SendDateTime_Net().
/// \copydetails SendDateTime_Net
VEXA_FUNCTION(int, vexa_send_date_time_net, SendDateTime_Net,
              (TEXT, ip)(INT, networkMode)(INT, materialId)(INT, displayMode)(INT, dtField4High)
              (INT, dtField4Low)(INT, dtField5High)(INT, dtField5Low)(INT, dtField6)
              (INT, dtField0)(INT, dtField1)(INT, dtTopBit)(INT, dtField2)(INT, dtField3)
              (INT, style3)(INT, extraByte))

/// Sets the controller's clock to the host's local time.
/// The C form of TimeCheck_Net().
/// \copydetails TimeCheck_Net
VEXA_FUNCTION(int, vexa_time_check_net, TimeCheck_Net,
              (TEXT, ip)(INT, networkMode))

/// Fills a collected-data field of the sign with a short text.
/// The C form of SendCollectionData_Net().
/// \copydetails SendCollectionData_Net
VEXA_FUNCTION(int, vexa_send_collection_data_net, SendCollectionData_Net,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, dataIndex)(INT, textStyle)
              (INT, attrHigh)(INT, attrLow))

/// Shows a text at a position of the sign.
/// The C form of SendCoordinateText_Net().
/// \copydetails SendCoordinateText_Net
VEXA_FUNCTION(int, vexa_send_coordinate_text_net, SendCoordinateText_Net,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, x)(INT, y)(INT, textStyle)
              (INT, attrHigh)(INT, attrLow))

/// Shows a text in an area of the sign.
/// The C form of SendInternalText_Net().
/// \copydetails SendInternalText_Net
VEXA_FUNCTION(int, vexa_send_internal_text_net, SendInternalText_Net,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, areaWidth)(INT, areaHeight)
              (INT, materialId)(INT, displayMode)(INT, style1)(INT, style2)(INT, style3)
              (INT, textStyle)(INT, attrHigh)(INT, attrLow)(INT, levelCode)(BOOL, primaryFlag)
              (INT, extraByte))

/// Shows a text in an area of the sign, the primary mark given as a number.
/// The C form of SendInternalText_Net_Custom().
/// \copydetails SendInternalText_Net_Custom
VEXA_FUNCTION(int, vexa_send_internal_text_net_custom, SendInternalText_Net_Custom,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, areaWidth)(INT, areaHeight)
              (INT, materialId)(INT, displayMode)(INT, style1)(INT, style2)(INT, style3)
              (INT, textStyle)(INT, attrHigh)(INT, attrLow)(INT, levelCode)(INT, primaryCode))

/// One piece of a multi-part collected-data text.
/// The C form of SendMulCollectionData_Net().
/// \copydetails SendMulCollectionData_Net
VEXA_FUNCTION(int, vexa_send_mul_collection_data_net, SendMulCollectionData_Net,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, dataIndex)(INT, displayMode)
              (INT, textStyle)(INT, attrHigh)(INT, attrLow)(INT, index)(INT, count))

/// One piece of a multi-part internal text.
/// The C form of SendMulInternalText_Net().
/// \copydetails SendMulInternalText_Net
VEXA_FUNCTION(int, vexa_send_mul_internal_text_net, SendMulInternalText_Net,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, areaWidth)(INT, areaHeight)
              (INT, materialId)(INT, displayMode)(INT, style1)(INT, style2)(INT, style3)
              (INT, textStyle)(INT, attrHigh)(INT, attrLow)(INT, levelCode)(BOOL, primaryFlag)
              (INT, extraByte)(INT, index)(INT, count))

/// One piece of a multi-part text, over the network or the serial line.
/// The C form of SendMulMaterial().
/// \copydetails SendMulMaterial
VEXA_FUNCTION(int, vexa_send_mul_material, SendMulMaterial,
              (INT, transport)(INT, networkMode)(TEXT, ip)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(TEXT, deviceAddress)(TEXT, text)(INT, commandCode)
              (INT, materialId)(INT, spareValue)(INT, displayMode)(INT, areaWidth)
              (INT, areaHeight)(INT, style1)(INT, style2)(INT, style3)(INT, textStyle)
              (INT, attrHigh)(INT, attrLow)(INT, levelCode)(BOOL, primaryFlag)(INT, extraByte)
              (INT, index)(INT, count))

/// Makes the controller speak a text.
/// The C form of PlayVoice_Net().
/// \copydetails PlayVoice_Net
VEXA_FUNCTION(int, vexa_play_voice_net, PlayVoice_Net,
              (TEXT, text)(TEXT, ip)(TEXT, spareText)(INT, networkMode)(INT, subCode))

/// Makes the controller speak a text with voice tags in front of it.
/// The C form of PlayVoice2_Net().
/// \copydetails PlayVoice2_Net
VEXA_FUNCTION(int, vexa_play_voice2_net, PlayVoice2_Net,
              (TEXT, text)(TEXT, ip)(TEXT, spareText)(INT, networkMode)(INT, subCode)(INT, vTag)
              (INT, soundNo)(INT, mTag))

/// Shows the ticket or queue line being called.
/// The C form of SendLineUpContent().
/// \copydetails SendLineUpContent
VEXA_FUNCTION(int, vexa_send_line_up_content, SendLineUpContent,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, slotNo)(INT, lineKind)
              (INT, unitAddress)(BOOL, bracketed))

/// Shows the ticket or queue line being called (as vexa_send_line_up_content()).
/// The C form of SendLineUp_Net().
/// \copydetails SendLineUp_Net
VEXA_FUNCTION(int, vexa_send_line_up_net, SendLineUp_Net,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, slotNo)(INT, lineKind)
              (INT, unitAddress)(BOOL, bracketed))

/// Shows the last page of a longer line-up text.
/// The C form of SendLineUp2_Net().
/// \copydetails SendLineUp2_Net
VEXA_FUNCTION(int, vexa_send_line_up2_net, SendLineUp2_Net,
              (TEXT, text)(TEXT, ip)(INT, networkMode)(INT, slotNo)(INT, lineKind)
              (INT, unitAddress)(BOOL, bracketed)(INT, pageChars))

/// Uploads one image of an image group.
/// The C form of SendImageGroup_Net().
/// \copydetails SendImageGroup_Net
VEXA_FUNCTION(int, vexa_send_image_group_net, SendImageGroup_Net,
              (TEXT, source)(TEXT, ip)(INT, networkMode)(INT, width)(INT, height)
              (INT, materialId)(INT, displayMode)(INT, style1)(INT, style2)(INT, style3)
              (INT, levelCode)(BOOL, primaryFlag)(INT, index)(INT, count))

/// Uploads one image of an image group, over the network or the serial line.
/// The C form of SendImageGroupBuffer().
/// \copydetails SendImageGroupBuffer
VEXA_FUNCTION(int, vexa_send_image_group_buffer, SendImageGroupBuffer,
              (INT, transport)(INT, networkMode)(TEXT, ip)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(TEXT, deviceAddress)(TEXT, source)(INT, width)(INT, height)
              (INT, materialId)(INT, displayMode)(INT, style1)(INT, style2)(INT, style3)
              (INT, levelCode)(BOOL, primaryFlag)(INT, index)(INT, count))

/// Uploads one picture as multimedia frames.
/// The C form of SendMultimedia_Net().
/// \copydetails SendMultimedia_Net
VEXA_FUNCTION(int, vexa_send_multimedia_net, SendMultimedia_Net,
              (TEXT, source)(TEXT, ip)(INT, networkMode)(BOOL, form78)(INT, horizontal)
              (INT, vertical)(INT, width)(INT, height)(INT, colourMode)(INT, byte17Flag)
              (INT, byte18Value))

/// Uploads one picture as multimedia frames with a given command code.
/// The C form of SendMultimediaBuffer().
/// \copydetails SendMultimediaBuffer
VEXA_FUNCTION(int, vexa_send_multimedia_buffer, SendMultimediaBuffer,
              (TEXT, source)(TEXT, ip)(INT, networkMode)(SHORT, commandCode)(INT, horizontal)
              (INT, vertical)(INT, width)(INT, height)(INT, colourMode)(INT, byte17Flag)
              (INT, byte18Value))

/// Makes the sign play an image group.
/// The C form of PlayImageGroup_Net().
/// \copydetails PlayImageGroup_Net
VEXA_FUNCTION(int, vexa_play_image_group_net, PlayImageGroup_Net,
              (TEXT, ip)(INT, networkMode)(INT, modeSelect)(INT, groupNo)(INT, byte5)
              (INT, word6)(INT, word8)(INT, byte10)(INT, byte11)(INT, byte12)(BOOL, byte2Clear)
              (BOOL, highModeBits))

// ---------------------------------------------------------------------------
// Bar screens (serial line only)

/// Sets a bar screen's parameters.
/// The C form of SetParams4BarScreen_Com().
/// \copydetails SetParams4BarScreen_Com
VEXA_FUNCTION(int, vexa_set_params4_bar_screen_com, SetParams4BarScreen_Com,
              (INT, serialProtocol)(INT, portNumber)(INT, baudRate)(INT, frameByte13)
              (INT, frameByte6)(INT, frameByte7)(INT, twoWay)(INT, frameByte9)
              (BOOL, clearByte14))

/// Sends a text to a bar screen, cut into pages.
/// The C form of SendContent2BarScreen_Com().
/// \copydetails SendContent2BarScreen_Com
VEXA_FUNCTION(int, vexa_send_content2_bar_screen_com, SendContent2BarScreen_Com,
              (TEXT, text)(INT, serialProtocol)(INT, portNumber)(INT, baudRate)
              (INT, screenAddress)(INT, colour)(INT, pageWidth)(INT, unused1)(INT, unused2)
              (INT, frameWord13)(INT, moveStyle1)(INT, moveStyle2)(INT, pageByte3)
              (INT, pageByte5)(INT, pageByte7)(INT, pageByte8)(BOOL, byte10Is82))

/// The move-style code a bar screen expects for a move style.
/// The C form of getMoveStyle().
/// \copydetails getMoveStyle
VEXA_FUNCTION(int, vexa_get_move_style, getMoveStyle,
              (INT, moveStyle))

// ---------------------------------------------------------------------------
// Serial twins of the network commands

/// Makes the sign on the serial line play show page \p pageNo.
/// The C form of PlayShowPage_Com().
/// \copydetails PlayShowPage_Com
VEXA_FUNCTION(int, vexa_play_show_page_com, PlayShowPage_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate)
              (INT, pageNo))

/// Makes the sign on the serial line start playing.
/// The C form of StartPlay_Com().
/// \copydetails StartPlay_Com
VEXA_FUNCTION(int, vexa_start_play_com, StartPlay_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate))

/// Makes the sign on the serial line stop playing.
/// The C form of StopPlay_Com().
/// \copydetails StopPlay_Com
VEXA_FUNCTION(int, vexa_stop_play_com, StopPlay_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate))

/// Switches a relay of the controller on the serial line.
/// The C form of RelaySwitch_Com().
/// \copydetails RelaySwitch_Com
VEXA_FUNCTION(int, vexa_relay_switch_com, RelaySwitch_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate)
              (INT, relayNo)(INT, action))

/// Closes a relay of the controller on the serial line for a time.
/// The C form of RelayDelay_Com().
/// \copydetails RelayDelay_Com
VEXA_FUNCTION(int, vexa_relay_delay_com, RelayDelay_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate)
              (INT, relayNo)(INT, delay))

/// Sets the brightness of the sign on the serial line.
/// The C form of SetBright_Com().
/// \copydetails SetBright_Com
VEXA_FUNCTION(int, vexa_set_bright_com, SetBright_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate)
              (INT, value1)(INT, value2))

/// Sets the clock of the controller on the serial line.
/// The C form of TimeCheck_Com().
/// \copydetails TimeCheck_Com
VEXA_FUNCTION(int, vexa_time_check_com, TimeCheck_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate))

/// Shows the running date and time on the sign on the serial line.
/// The C form of SendDateTime_Com().
/// \copydetails SendDateTime_Com
VEXA_FUNCTION(int, vexa_send_date_time_com, SendDateTime_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate)
              (INT, materialId)(INT, displayMode)(INT, dtField4High)(INT, dtField4Low)
              (INT, dtField5High)(INT, dtField5Low)(INT, dtField6)(INT, dtField0)(INT, dtField1)
              (INT, dtTopBit)(INT, dtField2)(INT, dtField3)(INT, style3)(INT, extraByte))

/// Makes the sign on the serial line play an image group.
/// The C form of PlayImageGroup_Com().
/// \copydetails PlayImageGroup_Com
VEXA_FUNCTION(int, vexa_play_image_group_com, PlayImageGroup_Com,
              (TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)(INT, baudRate)
              (INT, modeSelect)(INT, groupNo)(INT, byte5)(INT, word6)(INT, word8)(INT, byte10)
              (INT, byte11)(INT, byte12)(BOOL, byte2Clear)(BOOL, highModeBits))

/// Fills a collected-data field of the sign on the serial line.
/// The C form of SendCollectionData_Com().
/// \copydetails SendCollectionData_Com
VEXA_FUNCTION(int, vexa_send_collection_data_com, SendCollectionData_Com,
              (TEXT, text)(TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(INT, dataIndex)(INT, textStyle)(INT, attrHigh)(INT, attrLow))

/// Shows a text in an area of the sign on the serial line.
/// The C form of SendInternalText_Com().
/// \copydetails SendInternalText_Com
VEXA_FUNCTION(int, vexa_send_internal_text_com, SendInternalText_Com,
              (TEXT, text)(TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(INT, areaWidth)(INT, areaHeight)(INT, materialId)
              (INT, displayMode)(INT, style1)(INT, style2)(INT, style3)(INT, textStyle)
              (INT, attrHigh)(INT, attrLow)(INT, levelCode)(BOOL, primaryFlag)(INT, extraByte))

/// Shows the ticket being called on the sign on the serial line.
/// The C form of SendLineUp_Com().
/// \copydetails SendLineUp_Com
VEXA_FUNCTION(int, vexa_send_line_up_com, SendLineUp_Com,
              (TEXT, text)(TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(INT, slotNo)(INT, lineKind)(INT, unitAddress)(BOOL, bracketed))

/// Makes the controller on the serial line speak a text.
/// The C form of PlayVoice_Com().
/// \copydetails PlayVoice_Com
VEXA_FUNCTION(int, vexa_play_voice_com, PlayVoice_Com,
              (TEXT, text)(TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate))

/// Makes the controller on the serial line speak a text with voice tags.
/// The C form of PlayVoice2_Com().
/// \copydetails PlayVoice2_Com
VEXA_FUNCTION(int, vexa_play_voice2_com, PlayVoice2_Com,
              (TEXT, text)(TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(INT, vTag)(INT, soundNo)(INT, mTag))

/// One piece of a multi-part collected-data text, on the serial line.
/// The C form of SendMulCollectionData_Com().
/// \copydetails SendMulCollectionData_Com
VEXA_FUNCTION(int, vexa_send_mul_collection_data_com, SendMulCollectionData_Com,
              (TEXT, text)(TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(INT, dataIndex)(INT, displayMode)(INT, textStyle)(INT, attrHigh)
              (INT, attrLow)(INT, index)(INT, count))

/// One piece of a multi-part internal text, on the serial line.
/// The C form of SendMulInternalText_Com().
/// \copydetails SendMulInternalText_Com
VEXA_FUNCTION(int, vexa_send_mul_internal_text_com, SendMulInternalText_Com,
              (TEXT, text)(TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(INT, areaWidth)(INT, areaHeight)(INT, materialId)
              (INT, displayMode)(INT, style1)(INT, style2)(INT, style3)(INT, textStyle)
              (INT, attrHigh)(INT, attrLow)(INT, levelCode)(BOOL, primaryFlag)(INT, extraByte)
              (INT, index)(INT, count))

/// Uploads one image of an image group on the serial line.
/// The C form of SendImageGroup_Com().
/// \copydetails SendImageGroup_Com
VEXA_FUNCTION(int, vexa_send_image_group_com, SendImageGroup_Com,
              (TEXT, source)(TEXT, deviceAddress)(INT, serialProtocol)(INT, portNumber)
              (INT, baudRate)(INT, width)(INT, height)(INT, materialId)(INT, displayMode)
              (INT, style1)(INT, style2)(INT, style3)(INT, levelCode)(BOOL, primaryFlag)
              (INT, index)(INT, count))

// ---------------------------------------------------------------------------
// Show pages

/// Adds a show page to the model, or renews one.
/// The C form of AddShowPage().
/// \copydetails AddShowPage
VEXA_FUNCTION(int, vexa_add_show_page, AddShowPage,
              (INT, pageNo)(TEXT, startTime)(TEXT, endTime)(INT, pageExtra))

/// Adds an area to a show page of the model.
/// The C form of AddArea().
/// \copydetails AddArea
VEXA_FUNCTION(int, vexa_add_area, AddArea,
              (INT, pageNo)(INT, x)(INT, y)(INT, areaWidth)(INT, areaHeight))

/// Adds an internal text to the last area of a page.
/// The C form of AddTemplate_InternalText().
/// \copydetails AddTemplate_InternalText
VEXA_FUNCTION(int, vexa_add_template_internal_text, AddTemplate_InternalText,
              (INT, pageNo)(TEXT, text)(INT, materialId)(INT, displayMode)(INT, style1)
              (INT, style2)(INT, style3)(INT, textStyle)(INT, attrHigh)(INT, attrLow)
              (BOOL, unused))

/// Adds a collected-data field to the last area of a page.
/// The C form of AddTemplate_CollectData().
/// \copydetails AddTemplate_CollectData
VEXA_FUNCTION(int, vexa_add_template_collect_data, AddTemplate_CollectData,
              (INT, pageNo)(TEXT, text)(INT, dataIndex)(INT, displayMode)(INT, textStyle)
              (INT, attrHigh)(INT, attrLow))

/// Adds a running date-time display to the last area of a page.
/// The C form of AddTemplate_DateTime().
/// \copydetails AddTemplate_DateTime
VEXA_FUNCTION(int, vexa_add_template_date_time, AddTemplate_DateTime,
              (INT, pageNo)(INT, materialId)(INT, displayMode)(INT, dtField4High)
              (INT, dtField4Low)(INT, dtField5High)(INT, dtField5Low)(INT, dtField6)
              (INT, dtField0)(INT, dtField1)(INT, dtTopBit)(INT, dtField2)(INT, dtField3)
              (INT, style3)(BOOL, unused))

/// Adds an image group to the last area of a page.
/// The C form of AddTemplate_ImageGroup().
/// \copydetails AddTemplate_ImageGroup
VEXA_FUNCTION(int, vexa_add_template_image_group, AddTemplate_ImageGroup,
              (INT, pageNo)(TEXT, fileList)(INT, materialId)(INT, displayMode)(INT, style1)
              (INT, style2)(INT, style3))

/// Adds a queue line-up field to the last area of a page.
/// The C form of AddTemplate_LineUp().
/// \copydetails AddTemplate_LineUp
VEXA_FUNCTION(int, vexa_add_template_line_up, AddTemplate_LineUp,
              (INT, pageNo)(TEXT, text)(INT, style3)(INT, textStyle)(INT, attrHigh)
              (INT, attrLow)(INT, lineUpIndex)(BOOL, lineUpFlag))

/// Adds a material of any type to the last area of a page.
/// The C form of GenMaterial().
/// \copydetails GenMaterial
VEXA_FUNCTION(int, vexa_gen_material, GenMaterial,
              (INT, pageNo)(TEXT, text)(TEXT, fileList)(INT, materialType)(INT, materialId)
              (INT, displayMode)(INT, style1)(INT, style2)(INT, style3)(INT, textStyle)
              (INT, attrHigh)(INT, attrLow)(INT, levelSelector)(INT, dtField1)
              (INT, dtField4High)(INT, dtField4Low)(INT, dtField6)(INT, dtField0)(INT, dtTopBit)
              (INT, dtField2)(INT, dtField3)(INT, dataIndex)(INT, lineUpIndex)
              (BOOL, primaryFlag)(BOOL, lineUpFlag))

/// Tells whether the model can be uploaded.
/// The C form of CheckShowPage().
/// \copydetails CheckShowPage
VEXA_FUNCTION(bool, vexa_check_show_page, CheckShowPage,
              (VOID, ))

/// Uploads the model's show pages and empties the model.
/// The C form of SendTemplateData_Net().
/// \copydetails SendTemplateData_Net
VEXA_FUNCTION(int, vexa_send_template_data_net, SendTemplateData_Net,
              (TEXT, ip)(INT, networkMode))

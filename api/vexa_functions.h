// The one list of the C interface's forwarding functions.
//
// Every command, setting and service of SKYREL.h has one C function here,
// named `vexa_` followed by the C++ name in lower snake case. It takes the
// same arguments in the same order (texts and addresses as `const char*`,
// which the library only reads) and returns what the C++ function returns.
//
// Each entry reads
//
//     /// What the function does, in a sentence or two.
//     VEXA_FUNCTION(return type, C name, C++ function, (KIND, name)(KIND, name)...)
//
// with one (KIND, name) pair per parameter: TEXT for a `const char*`, INT,
// BOOL, SHORT, and (VOID, ) for a function without parameters. Each name is
// the C++ parameter's name in SKYREL.h in lower snake case (`networkMode` is
// `network_mode`), so that a field has one name in C++, C and Python.
//
// The list is read in three ways:
//  - cmake/VexaInterface.cmake writes the installed vexa.h from it: a plain
//    prototype per entry, documented with the entry's sentence and the
//    parameters and result of the C++ function in SKYREL.h; it also writes
//    the Python package's table python/vexa/_signatures.py, and its test
//    `c_interface_list` fails when that table, or a name here, no longer
//    follows the list and SKYREL.h;
//  - api/vexa.cpp defines VEXA_FUNCTION to forward each function to its C++
//    function, and checks that the parameter types are the C++ function's;
//  - the tests define it to call or take the address of every function.
// The list is not installed: include vexa.h, which declares the functions.
//
// No include guard for the list: it is meant to be read again under another
// VEXA_FUNCTION. The parameter macros below are defined once.
#ifndef VEXA_FUNCTION
#error "vexa_functions.h is a list: define VEXA_FUNCTION before reading it"
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
VEXA_FUNCTION(void, vexa_bind_network_card, BindNetworkCard,
              (TEXT, local_ip)(INT, local_port))

/// Sets the send and receive time-outs.
VEXA_FUNCTION(void, vexa_set_time_out, SetTimeOut,
              (INT, send_time_out)(INT, receive_time_out))

/// Sets the send and the receive time-out to one value.
VEXA_FUNCTION(void, vexa_set_receive_time_out, SetReceiveTimeOut,
              (INT, time_out))

/// Sets how many times a transmission is repeated.
VEXA_FUNCTION(void, vexa_set_re_send_times, SetReSendTimes,
              (INT, re_send_times))

/// Stores a character-code mode (it changes nothing that is sent).
VEXA_FUNCTION(void, vexa_set_chn_code_mode, SetChnCodeMode,
              (INT, chn_code_mode))

/// Closes the serial port; the next serial call opens it again.
VEXA_FUNCTION(int, vexa_close_com, CloseCom,
              (VOID, ))

// ---------------------------------------------------------------------------
// Login server

/// Starts the login server on a thread of its own.
VEXA_FUNCTION(int, vexa_open_server, OpenServer,
              (INT, port))

/// Has no effect: the login server keeps running.
VEXA_FUNCTION(int, vexa_close_server, CloseServer,
              (VOID, ))

/// Runs the login server's loop on the calling thread, on the port of the last
/// vexa_open_server(): it blocks the caller for the rest of the process, or
/// returns at once when the port cannot be bound.
VEXA_FUNCTION(void, vexa_task_thread_exe, TaskThreadExe,
              (VOID, ))

// ---------------------------------------------------------------------------
// Log writer

/// Appends a titled entry to the daily log file.
VEXA_FUNCTION(void, vexa_write_log, WriteLog,
              (TEXT, title)(TEXT, message))

/// Appends a titled entry to the daily log file from a thread of its own.
VEXA_FUNCTION(void, vexa_write_log_thread, WriteLogThread,
              (TEXT, title)(TEXT, message))

// ---------------------------------------------------------------------------
// Network commands

/// Makes the sign play show page \p page_no.
VEXA_FUNCTION(int, vexa_play_show_page_net, PlayShowPage_Net,
              (TEXT, ip)(INT, network_mode)(INT, page_no))

/// Makes the sign start playing its show pages.
VEXA_FUNCTION(int, vexa_start_play_net, StartPlay_Net,
              (TEXT, ip)(INT, network_mode))

/// Makes the sign stop playing its show pages.
VEXA_FUNCTION(int, vexa_stop_play_net, StopPlay_Net,
              (TEXT, ip)(INT, network_mode))

/// Switches one of the controller's relays on or off.
VEXA_FUNCTION(int, vexa_relay_switch_net, RelaySwitch_Net,
              (TEXT, ip)(INT, network_mode)(INT, relay_no)(INT, action))

/// Closes one relay for a time.
VEXA_FUNCTION(int, vexa_relay_delay_net, RelayDelay_Net,
              (TEXT, ip)(INT, network_mode)(INT, relay_no)(INT, delay))

/// Sets the sign's brightness.
VEXA_FUNCTION(int, vexa_set_bright_net, SetBright_Net,
              (TEXT, ip)(INT, network_mode)(INT, value1)(INT, value2))

/// Shows the running date and time in an area of the sign.
VEXA_FUNCTION(int, vexa_send_date_time_net, SendDateTime_Net,
              (TEXT, ip)(INT, network_mode)(INT, material_id)(INT, display_mode)(INT, dt_field4_high)
              (INT, dt_field4_low)(INT, dt_field5_high)(INT, dt_field5_low)(INT, dt_field6)
              (INT, dt_field0)(INT, dt_field1)(INT, dt_top_bit)(INT, dt_field2)(INT, dt_field3)
              (INT, style3)(INT, extra_byte))

/// Sets the controller's clock to the host's local time.
VEXA_FUNCTION(int, vexa_time_check_net, TimeCheck_Net,
              (TEXT, ip)(INT, network_mode))

/// Fills a collected-data field of the sign with a short text.
VEXA_FUNCTION(int, vexa_send_collection_data_net, SendCollectionData_Net,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, data_index)(INT, text_style)
              (INT, attr_high)(INT, attr_low))

/// Shows a text at a position of the sign.
VEXA_FUNCTION(int, vexa_send_coordinate_text_net, SendCoordinateText_Net,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, x)(INT, y)(INT, text_style)
              (INT, attr_high)(INT, attr_low))

/// Shows a text in an area of the sign.
VEXA_FUNCTION(int, vexa_send_internal_text_net, SendInternalText_Net,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, area_width)(INT, area_height)
              (INT, material_id)(INT, display_mode)(INT, style1)(INT, style2)(INT, style3)
              (INT, text_style)(INT, attr_high)(INT, attr_low)(INT, level_code)(BOOL, primary_flag)
              (INT, extra_byte))

/// Shows a text in an area of the sign, the primary mark given as a number.
VEXA_FUNCTION(int, vexa_send_internal_text_net_custom, SendInternalText_Net_Custom,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, area_width)(INT, area_height)
              (INT, material_id)(INT, display_mode)(INT, style1)(INT, style2)(INT, style3)
              (INT, text_style)(INT, attr_high)(INT, attr_low)(INT, level_code)(INT, primary_code))

/// One piece of a multi-part collected-data text.
VEXA_FUNCTION(int, vexa_send_mul_collection_data_net, SendMulCollectionData_Net,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, data_index)(INT, display_mode)
              (INT, text_style)(INT, attr_high)(INT, attr_low)(INT, index)(INT, count))

/// One piece of a multi-part internal text.
VEXA_FUNCTION(int, vexa_send_mul_internal_text_net, SendMulInternalText_Net,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, area_width)(INT, area_height)
              (INT, material_id)(INT, display_mode)(INT, style1)(INT, style2)(INT, style3)
              (INT, text_style)(INT, attr_high)(INT, attr_low)(INT, level_code)(BOOL, primary_flag)
              (INT, extra_byte)(INT, index)(INT, count))

/// One piece of a multi-part text, over the network or the serial line.
VEXA_FUNCTION(int, vexa_send_mul_material, SendMulMaterial,
              (INT, transport)(INT, network_mode)(TEXT, ip)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(TEXT, device_address)(TEXT, text)(INT, command_code)
              (INT, material_id)(INT, spare_value)(INT, display_mode)(INT, area_width)
              (INT, area_height)(INT, style1)(INT, style2)(INT, style3)(INT, text_style)
              (INT, attr_high)(INT, attr_low)(INT, level_code)(BOOL, primary_flag)(INT, extra_byte)
              (INT, index)(INT, count))

/// Makes the controller speak a text.
VEXA_FUNCTION(int, vexa_play_voice_net, PlayVoice_Net,
              (TEXT, text)(TEXT, ip)(TEXT, spare_text)(INT, network_mode)(INT, sub_code))

/// Makes the controller speak a text with voice tags in front of it.
VEXA_FUNCTION(int, vexa_play_voice2_net, PlayVoice2_Net,
              (TEXT, text)(TEXT, ip)(TEXT, spare_text)(INT, network_mode)(INT, sub_code)(INT, v_tag)
              (INT, sound_no)(INT, m_tag))

/// Shows the ticket or queue line being called.
VEXA_FUNCTION(int, vexa_send_line_up_content, SendLineUpContent,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, slot_no)(INT, line_kind)
              (INT, unit_address)(BOOL, bracketed))

/// Shows the ticket or queue line being called (as vexa_send_line_up_content()).
VEXA_FUNCTION(int, vexa_send_line_up_net, SendLineUp_Net,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, slot_no)(INT, line_kind)
              (INT, unit_address)(BOOL, bracketed))

/// Shows the last page of a longer line-up text.
VEXA_FUNCTION(int, vexa_send_line_up2_net, SendLineUp2_Net,
              (TEXT, text)(TEXT, ip)(INT, network_mode)(INT, slot_no)(INT, line_kind)
              (INT, unit_address)(BOOL, bracketed)(INT, page_chars))

/// Uploads one image of an image group.
VEXA_FUNCTION(int, vexa_send_image_group_net, SendImageGroup_Net,
              (TEXT, source)(TEXT, ip)(INT, network_mode)(INT, width)(INT, height)
              (INT, material_id)(INT, display_mode)(INT, style1)(INT, style2)(INT, style3)
              (INT, level_code)(BOOL, primary_flag)(INT, index)(INT, count))

/// Uploads one image of an image group, over the network or the serial line.
VEXA_FUNCTION(int, vexa_send_image_group_buffer, SendImageGroupBuffer,
              (INT, transport)(INT, network_mode)(TEXT, ip)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(TEXT, device_address)(TEXT, source)(INT, width)(INT, height)
              (INT, material_id)(INT, display_mode)(INT, style1)(INT, style2)(INT, style3)
              (INT, level_code)(BOOL, primary_flag)(INT, index)(INT, count))

/// Uploads one picture as multimedia frames.
VEXA_FUNCTION(int, vexa_send_multimedia_net, SendMultimedia_Net,
              (TEXT, source)(TEXT, ip)(INT, network_mode)(BOOL, form78)(INT, horizontal)
              (INT, vertical)(INT, width)(INT, height)(INT, colour_mode)(INT, byte17_flag)
              (INT, byte18_value))

/// Uploads one picture as multimedia frames with a given command code.
VEXA_FUNCTION(int, vexa_send_multimedia_buffer, SendMultimediaBuffer,
              (TEXT, source)(TEXT, ip)(INT, network_mode)(SHORT, command_code)(INT, horizontal)
              (INT, vertical)(INT, width)(INT, height)(INT, colour_mode)(INT, byte17_flag)
              (INT, byte18_value))

/// Makes the sign play an image group.
VEXA_FUNCTION(int, vexa_play_image_group_net, PlayImageGroup_Net,
              (TEXT, ip)(INT, network_mode)(INT, mode_select)(INT, group_no)(INT, byte5)
              (INT, word6)(INT, word8)(INT, byte10)(INT, byte11)(INT, byte12)(BOOL, byte2_clear)
              (BOOL, high_mode_bits))

// ---------------------------------------------------------------------------
// Bar screens (serial line only)

/// Sets a bar screen's parameters.
VEXA_FUNCTION(int, vexa_set_params4_bar_screen_com, SetParams4BarScreen_Com,
              (INT, serial_protocol)(INT, port_number)(INT, baud_rate)(INT, frame_byte13)
              (INT, frame_byte6)(INT, frame_byte7)(INT, two_way)(INT, frame_byte9)
              (BOOL, clear_byte14))

/// Sends a text to a bar screen, cut into pages.
VEXA_FUNCTION(int, vexa_send_content2_bar_screen_com, SendContent2BarScreen_Com,
              (TEXT, text)(INT, serial_protocol)(INT, port_number)(INT, baud_rate)
              (INT, screen_address)(INT, colour)(INT, page_width)(INT, unused1)(INT, unused2)
              (INT, frame_word13)(INT, move_style1)(INT, move_style2)(INT, page_byte3)
              (INT, page_byte5)(INT, page_byte7)(INT, page_byte8)(BOOL, byte10_is82))

/// The move-style code a bar screen expects for a move style.
VEXA_FUNCTION(int, vexa_get_move_style, getMoveStyle,
              (INT, move_style))

// ---------------------------------------------------------------------------
// Serial twins of the network commands

/// Makes the sign on the serial line play show page \p page_no.
VEXA_FUNCTION(int, vexa_play_show_page_com, PlayShowPage_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate)
              (INT, page_no))

/// Makes the sign on the serial line start playing.
VEXA_FUNCTION(int, vexa_start_play_com, StartPlay_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate))

/// Makes the sign on the serial line stop playing.
VEXA_FUNCTION(int, vexa_stop_play_com, StopPlay_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate))

/// Switches a relay of the controller on the serial line.
VEXA_FUNCTION(int, vexa_relay_switch_com, RelaySwitch_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate)
              (INT, relay_no)(INT, action))

/// Closes a relay of the controller on the serial line for a time.
VEXA_FUNCTION(int, vexa_relay_delay_com, RelayDelay_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate)
              (INT, relay_no)(INT, delay))

/// Sets the brightness of the sign on the serial line.
VEXA_FUNCTION(int, vexa_set_bright_com, SetBright_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate)
              (INT, value1)(INT, value2))

/// Sets the clock of the controller on the serial line.
VEXA_FUNCTION(int, vexa_time_check_com, TimeCheck_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate))

/// Shows the running date and time on the sign on the serial line.
VEXA_FUNCTION(int, vexa_send_date_time_com, SendDateTime_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate)
              (INT, material_id)(INT, display_mode)(INT, dt_field4_high)(INT, dt_field4_low)
              (INT, dt_field5_high)(INT, dt_field5_low)(INT, dt_field6)(INT, dt_field0)(INT, dt_field1)
              (INT, dt_top_bit)(INT, dt_field2)(INT, dt_field3)(INT, style3)(INT, extra_byte))

/// Makes the sign on the serial line play an image group.
VEXA_FUNCTION(int, vexa_play_image_group_com, PlayImageGroup_Com,
              (TEXT, device_address)(INT, serial_protocol)(INT, port_number)(INT, baud_rate)
              (INT, mode_select)(INT, group_no)(INT, byte5)(INT, word6)(INT, word8)(INT, byte10)
              (INT, byte11)(INT, byte12)(BOOL, byte2_clear)(BOOL, high_mode_bits))

/// Fills a collected-data field of the sign on the serial line.
VEXA_FUNCTION(int, vexa_send_collection_data_com, SendCollectionData_Com,
              (TEXT, text)(TEXT, device_address)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(INT, data_index)(INT, text_style)(INT, attr_high)(INT, attr_low))

/// Shows a text in an area of the sign on the serial line.
VEXA_FUNCTION(int, vexa_send_internal_text_com, SendInternalText_Com,
              (TEXT, text)(TEXT, device_address)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(INT, area_width)(INT, area_height)(INT, material_id)
              (INT, display_mode)(INT, style1)(INT, style2)(INT, style3)(INT, text_style)
              (INT, attr_high)(INT, attr_low)(INT, level_code)(BOOL, primary_flag)(INT, extra_byte))

/// Shows the ticket being called on the sign on the serial line.
VEXA_FUNCTION(int, vexa_send_line_up_com, SendLineUp_Com,
              (TEXT, text)(TEXT, device_address)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(INT, slot_no)(INT, line_kind)(INT, unit_address)(BOOL, bracketed))

/// Makes the controller on the serial line speak a text.
VEXA_FUNCTION(int, vexa_play_voice_com, PlayVoice_Com,
              (TEXT, text)(TEXT, device_address)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate))

/// Makes the controller on the serial line speak a text with voice tags.
VEXA_FUNCTION(int, vexa_play_voice2_com, PlayVoice2_Com,
              (TEXT, text)(TEXT, device_address)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(INT, v_tag)(INT, sound_no)(INT, m_tag))

/// One piece of a multi-part collected-data text, on the serial line.
VEXA_FUNCTION(int, vexa_send_mul_collection_data_com, SendMulCollectionData_Com,
              (TEXT, text)(TEXT, device_address)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(INT, data_index)(INT, display_mode)(INT, text_style)(INT, attr_high)
              (INT, attr_low)(INT, index)(INT, count))

/// One piece of a multi-part internal text, on the serial line.
VEXA_FUNCTION(int, vexa_send_mul_internal_text_com, SendMulInternalText_Com,
              (TEXT, text)(TEXT, device_address)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(INT, area_width)(INT, area_height)(INT, material_id)
              (INT, display_mode)(INT, style1)(INT, style2)(INT, style3)(INT, text_style)
              (INT, attr_high)(INT, attr_low)(INT, level_code)(BOOL, primary_flag)(INT, extra_byte)
              (INT, index)(INT, count))

/// Uploads one image of an image group on the serial line.
VEXA_FUNCTION(int, vexa_send_image_group_com, SendImageGroup_Com,
              (TEXT, source)(TEXT, device_address)(INT, serial_protocol)(INT, port_number)
              (INT, baud_rate)(INT, width)(INT, height)(INT, material_id)(INT, display_mode)
              (INT, style1)(INT, style2)(INT, style3)(INT, level_code)(BOOL, primary_flag)
              (INT, index)(INT, count))

// ---------------------------------------------------------------------------
// Show pages

/// Adds a show page to the model, or renews one.
VEXA_FUNCTION(int, vexa_add_show_page, AddShowPage,
              (INT, page_no)(TEXT, start_time)(TEXT, end_time)(INT, page_extra))

/// Adds an area to a show page of the model.
VEXA_FUNCTION(int, vexa_add_area, AddArea,
              (INT, page_no)(INT, x)(INT, y)(INT, area_width)(INT, area_height))

/// Adds an internal text to the last area of a page.
VEXA_FUNCTION(int, vexa_add_template_internal_text, AddTemplate_InternalText,
              (INT, page_no)(TEXT, text)(INT, material_id)(INT, display_mode)(INT, style1)
              (INT, style2)(INT, style3)(INT, text_style)(INT, attr_high)(INT, attr_low)
              (BOOL, unused))

/// Adds a collected-data field to the last area of a page.
VEXA_FUNCTION(int, vexa_add_template_collect_data, AddTemplate_CollectData,
              (INT, page_no)(TEXT, text)(INT, data_index)(INT, display_mode)(INT, text_style)
              (INT, attr_high)(INT, attr_low))

/// Adds a running date-time display to the last area of a page.
VEXA_FUNCTION(int, vexa_add_template_date_time, AddTemplate_DateTime,
              (INT, page_no)(INT, material_id)(INT, display_mode)(INT, dt_field4_high)
              (INT, dt_field4_low)(INT, dt_field5_high)(INT, dt_field5_low)(INT, dt_field6)
              (INT, dt_field0)(INT, dt_field1)(INT, dt_top_bit)(INT, dt_field2)(INT, dt_field3)
              (INT, style3)(BOOL, unused))

/// Adds an image group to the last area of a page.
VEXA_FUNCTION(int, vexa_add_template_image_group, AddTemplate_ImageGroup,
              (INT, page_no)(TEXT, file_list)(INT, material_id)(INT, display_mode)(INT, style1)
              (INT, style2)(INT, style3))

/// Adds a queue line-up field to the last area of a page.
VEXA_FUNCTION(int, vexa_add_template_line_up, AddTemplate_LineUp,
              (INT, page_no)(TEXT, text)(INT, style3)(INT, text_style)(INT, attr_high)
              (INT, attr_low)(INT, line_up_index)(BOOL, line_up_flag))

/// Adds a material of any type to the last area of a page.
VEXA_FUNCTION(int, vexa_gen_material, GenMaterial,
              (INT, page_no)(TEXT, text)(TEXT, file_list)(INT, material_type)(INT, material_id)
              (INT, display_mode)(INT, style1)(INT, style2)(INT, style3)(INT, text_style)
              (INT, attr_high)(INT, attr_low)(INT, level_selector)(INT, dt_field1)
              (INT, dt_field4_high)(INT, dt_field4_low)(INT, dt_field6)(INT, dt_field0)(INT, dt_top_bit)
              (INT, dt_field2)(INT, dt_field3)(INT, data_index)(INT, line_up_index)
              (BOOL, primary_flag)(BOOL, line_up_flag))

/// Tells whether the model can be uploaded.
VEXA_FUNCTION(bool, vexa_check_show_page, CheckShowPage,
              (VOID, ))

/// Uploads the model's show pages; an upload accepted empties the model.
VEXA_FUNCTION(int, vexa_send_template_data_net, SendTemplateData_Net,
              (TEXT, ip)(INT, network_mode))

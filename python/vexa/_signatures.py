"""The C functions of libvexa-x86 as the package calls them.

For each function its result and its parameters as ``KIND:name`` in order;
the names are those of vexa.h. Kinds: TEXT (``const char*``), INT, BOOL,
SHORT, BITMAP_OUT and INT_OUT for the pointers that
vexa_image_content_buffer fills, and BUFFER (``char*``) for a buffer the
library writes into; results INT, BOOL, TEXT or VOID.

Written by cmake/VexaInterface.cmake from the library's list of the functions
that forward to SKYREL.h (api/vexa_functions.h: SIGNATURES) and from the C
interface's own functions (api/vexa.h.in: EXTRA_SIGNATURES); the library's
test c_interface_list fails when this file differs from them. Do not edit it:
change the list and run ``cmake -DVEXA_ACTION=python -P cmake/VexaInterface.cmake``
in the source tree.
"""

from __future__ import annotations

SIGNATURES: dict[str, tuple[str, str]] = {
    "vexa_bind_network_card": ("VOID", "TEXT:local_ip INT:local_port"),
    "vexa_set_time_out": ("VOID", "INT:send_time_out INT:receive_time_out"),
    "vexa_set_receive_time_out": ("VOID", "INT:time_out"),
    "vexa_set_re_send_times": ("VOID", "INT:re_send_times"),
    "vexa_set_chn_code_mode": ("VOID", "INT:chn_code_mode"),
    "vexa_close_com": ("INT", ""),
    "vexa_open_server": ("INT", "INT:port"),
    "vexa_close_server": ("INT", ""),
    "vexa_task_thread_exe": ("VOID", ""),
    "vexa_write_log": ("VOID", "TEXT:title TEXT:message"),
    "vexa_write_log_thread": ("VOID", "TEXT:title TEXT:message"),
    "vexa_play_show_page_net": ("INT", "TEXT:ip INT:network_mode INT:page_no"),
    "vexa_start_play_net": ("INT", "TEXT:ip INT:network_mode"),
    "vexa_stop_play_net": ("INT", "TEXT:ip INT:network_mode"),
    "vexa_relay_switch_net": ("INT", "TEXT:ip INT:network_mode INT:relay_no INT:action"),
    "vexa_relay_delay_net": ("INT", "TEXT:ip INT:network_mode INT:relay_no INT:delay"),
    "vexa_set_bright_net": ("INT", "TEXT:ip INT:network_mode INT:value1 INT:value2"),
    "vexa_send_date_time_net": (
        "INT",
        "TEXT:ip INT:network_mode INT:material_id INT:display_mode INT:dt_field4_high "
        "INT:dt_field4_low INT:dt_field5_high INT:dt_field5_low INT:dt_field6 INT:dt_field0 "
        "INT:dt_field1 INT:dt_top_bit INT:dt_field2 INT:dt_field3 INT:style3 INT:extra_byte",
    ),
    "vexa_time_check_net": ("INT", "TEXT:ip INT:network_mode"),
    "vexa_send_collection_data_net": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:data_index INT:text_style INT:attr_high "
        "INT:attr_low",
    ),
    "vexa_send_coordinate_text_net": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:x INT:y INT:text_style INT:attr_high INT:attr_low",
    ),
    "vexa_send_internal_text_net": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:area_width INT:area_height INT:material_id "
        "INT:display_mode INT:style1 INT:style2 INT:style3 INT:text_style INT:attr_high "
        "INT:attr_low INT:level_code BOOL:primary_flag INT:extra_byte",
    ),
    "vexa_send_internal_text_net_custom": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:area_width INT:area_height INT:material_id "
        "INT:display_mode INT:style1 INT:style2 INT:style3 INT:text_style INT:attr_high "
        "INT:attr_low INT:level_code INT:primary_code",
    ),
    "vexa_send_mul_collection_data_net": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:data_index INT:display_mode INT:text_style "
        "INT:attr_high INT:attr_low INT:index INT:count",
    ),
    "vexa_send_mul_internal_text_net": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:area_width INT:area_height INT:material_id "
        "INT:display_mode INT:style1 INT:style2 INT:style3 INT:text_style INT:attr_high "
        "INT:attr_low INT:level_code BOOL:primary_flag INT:extra_byte INT:index INT:count",
    ),
    "vexa_send_mul_material": (
        "INT",
        "INT:transport INT:network_mode TEXT:ip INT:serial_protocol INT:port_number INT:baud_rate "
        "TEXT:device_address TEXT:text INT:command_code INT:material_id INT:spare_value "
        "INT:display_mode INT:area_width INT:area_height INT:style1 INT:style2 INT:style3 "
        "INT:text_style INT:attr_high INT:attr_low INT:level_code BOOL:primary_flag "
        "INT:extra_byte INT:index INT:count",
    ),
    "vexa_play_voice_net": (
        "INT",
        "TEXT:text TEXT:ip TEXT:spare_text INT:network_mode INT:sub_code",
    ),
    "vexa_play_voice2_net": (
        "INT",
        "TEXT:text TEXT:ip TEXT:spare_text INT:network_mode INT:sub_code INT:v_tag INT:sound_no "
        "INT:m_tag",
    ),
    "vexa_send_line_up_content": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:slot_no INT:line_kind INT:unit_address "
        "BOOL:bracketed",
    ),
    "vexa_send_line_up_net": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:slot_no INT:line_kind INT:unit_address "
        "BOOL:bracketed",
    ),
    "vexa_send_line_up2_net": (
        "INT",
        "TEXT:text TEXT:ip INT:network_mode INT:slot_no INT:line_kind INT:unit_address "
        "BOOL:bracketed INT:page_chars",
    ),
    "vexa_send_image_group_net": (
        "INT",
        "TEXT:source TEXT:ip INT:network_mode INT:width INT:height INT:material_id "
        "INT:display_mode INT:style1 INT:style2 INT:style3 INT:level_code BOOL:primary_flag "
        "INT:index INT:count",
    ),
    "vexa_send_image_group_buffer": (
        "INT",
        "INT:transport INT:network_mode TEXT:ip INT:serial_protocol INT:port_number INT:baud_rate "
        "TEXT:device_address TEXT:source INT:width INT:height INT:material_id INT:display_mode "
        "INT:style1 INT:style2 INT:style3 INT:level_code BOOL:primary_flag INT:index INT:count",
    ),
    "vexa_send_multimedia_net": (
        "INT",
        "TEXT:source TEXT:ip INT:network_mode BOOL:form78 INT:horizontal INT:vertical INT:width "
        "INT:height INT:colour_mode INT:byte17_flag INT:byte18_value",
    ),
    "vexa_send_multimedia_buffer": (
        "INT",
        "TEXT:source TEXT:ip INT:network_mode SHORT:command_code INT:horizontal INT:vertical "
        "INT:width INT:height INT:colour_mode INT:byte17_flag INT:byte18_value",
    ),
    "vexa_play_image_group_net": (
        "INT",
        "TEXT:ip INT:network_mode INT:mode_select INT:group_no INT:byte5 INT:word6 INT:word8 "
        "INT:byte10 INT:byte11 INT:byte12 BOOL:byte2_clear BOOL:high_mode_bits",
    ),
    "vexa_set_params4_bar_screen_com": (
        "INT",
        "INT:serial_protocol INT:port_number INT:baud_rate INT:frame_byte13 INT:frame_byte6 "
        "INT:frame_byte7 INT:two_way INT:frame_byte9 BOOL:clear_byte14",
    ),
    "vexa_send_content2_bar_screen_com": (
        "INT",
        "TEXT:text INT:serial_protocol INT:port_number INT:baud_rate INT:screen_address "
        "INT:colour INT:page_width INT:unused1 INT:unused2 INT:frame_word13 INT:move_style1 "
        "INT:move_style2 INT:page_byte3 INT:page_byte5 INT:page_byte7 INT:page_byte8 "
        "BOOL:byte10_is82",
    ),
    "vexa_get_move_style": ("INT", "INT:move_style"),
    "vexa_play_show_page_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate INT:page_no",
    ),
    "vexa_start_play_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate",
    ),
    "vexa_stop_play_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate",
    ),
    "vexa_relay_switch_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate INT:relay_no "
        "INT:action",
    ),
    "vexa_relay_delay_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate INT:relay_no "
        "INT:delay",
    ),
    "vexa_set_bright_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate INT:value1 "
        "INT:value2",
    ),
    "vexa_time_check_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate",
    ),
    "vexa_send_date_time_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate INT:material_id "
        "INT:display_mode INT:dt_field4_high INT:dt_field4_low INT:dt_field5_high "
        "INT:dt_field5_low INT:dt_field6 INT:dt_field0 INT:dt_field1 INT:dt_top_bit INT:dt_field2 "
        "INT:dt_field3 INT:style3 INT:extra_byte",
    ),
    "vexa_play_image_group_com": (
        "INT",
        "TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate INT:mode_select "
        "INT:group_no INT:byte5 INT:word6 INT:word8 INT:byte10 INT:byte11 INT:byte12 "
        "BOOL:byte2_clear BOOL:high_mode_bits",
    ),
    "vexa_send_collection_data_com": (
        "INT",
        "TEXT:text TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate "
        "INT:data_index INT:text_style INT:attr_high INT:attr_low",
    ),
    "vexa_send_internal_text_com": (
        "INT",
        "TEXT:text TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate "
        "INT:area_width INT:area_height INT:material_id INT:display_mode INT:style1 INT:style2 "
        "INT:style3 INT:text_style INT:attr_high INT:attr_low INT:level_code BOOL:primary_flag "
        "INT:extra_byte",
    ),
    "vexa_send_line_up_com": (
        "INT",
        "TEXT:text TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate "
        "INT:slot_no INT:line_kind INT:unit_address BOOL:bracketed",
    ),
    "vexa_play_voice_com": (
        "INT",
        "TEXT:text TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate",
    ),
    "vexa_play_voice2_com": (
        "INT",
        "TEXT:text TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate "
        "INT:v_tag INT:sound_no INT:m_tag",
    ),
    "vexa_send_mul_collection_data_com": (
        "INT",
        "TEXT:text TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate "
        "INT:data_index INT:display_mode INT:text_style INT:attr_high INT:attr_low INT:index "
        "INT:count",
    ),
    "vexa_send_mul_internal_text_com": (
        "INT",
        "TEXT:text TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate "
        "INT:area_width INT:area_height INT:material_id INT:display_mode INT:style1 INT:style2 "
        "INT:style3 INT:text_style INT:attr_high INT:attr_low INT:level_code BOOL:primary_flag "
        "INT:extra_byte INT:index INT:count",
    ),
    "vexa_send_image_group_com": (
        "INT",
        "TEXT:source TEXT:device_address INT:serial_protocol INT:port_number INT:baud_rate "
        "INT:width INT:height INT:material_id INT:display_mode INT:style1 INT:style2 INT:style3 "
        "INT:level_code BOOL:primary_flag INT:index INT:count",
    ),
    "vexa_add_show_page": ("INT", "INT:page_no TEXT:start_time TEXT:end_time INT:page_extra"),
    "vexa_add_area": ("INT", "INT:page_no INT:x INT:y INT:area_width INT:area_height"),
    "vexa_add_template_internal_text": (
        "INT",
        "INT:page_no TEXT:text INT:material_id INT:display_mode INT:style1 INT:style2 INT:style3 "
        "INT:text_style INT:attr_high INT:attr_low BOOL:unused",
    ),
    "vexa_add_template_collect_data": (
        "INT",
        "INT:page_no TEXT:text INT:data_index INT:display_mode INT:text_style INT:attr_high "
        "INT:attr_low",
    ),
    "vexa_add_template_date_time": (
        "INT",
        "INT:page_no INT:material_id INT:display_mode INT:dt_field4_high INT:dt_field4_low "
        "INT:dt_field5_high INT:dt_field5_low INT:dt_field6 INT:dt_field0 INT:dt_field1 "
        "INT:dt_top_bit INT:dt_field2 INT:dt_field3 INT:style3 BOOL:unused",
    ),
    "vexa_add_template_image_group": (
        "INT",
        "INT:page_no TEXT:file_list INT:material_id INT:display_mode INT:style1 INT:style2 "
        "INT:style3",
    ),
    "vexa_add_template_line_up": (
        "INT",
        "INT:page_no TEXT:text INT:style3 INT:text_style INT:attr_high INT:attr_low "
        "INT:line_up_index BOOL:line_up_flag",
    ),
    "vexa_gen_material": (
        "INT",
        "INT:page_no TEXT:text TEXT:file_list INT:material_type INT:material_id INT:display_mode "
        "INT:style1 INT:style2 INT:style3 INT:text_style INT:attr_high INT:attr_low "
        "INT:level_selector INT:dt_field1 INT:dt_field4_high INT:dt_field4_low INT:dt_field6 "
        "INT:dt_field0 INT:dt_top_bit INT:dt_field2 INT:dt_field3 INT:data_index "
        "INT:line_up_index BOOL:primary_flag BOOL:line_up_flag",
    ),
    "vexa_check_show_page": ("BOOL", ""),
    "vexa_send_template_data_net": ("INT", "TEXT:ip INT:network_mode"),
}

EXTRA_SIGNATURES: dict[str, tuple[str, str]] = {
    "vexa_result_text": ("TEXT", "INT:result"),
    "vexa_version": ("TEXT", ""),
    "vexa_last_reason": ("TEXT", ""),
    "vexa_image_content_buffer": (
        "INT",
        "TEXT:source INT:colour_mode INT:width INT:height BITMAP_OUT:bitmap INT_OUT:length",
    ),
    "vexa_current_date_to_string": ("TEXT", "INT:mode"),
    "vexa_clear_show_pages": ("VOID", ""),
    "vexa_send_time_out": ("INT", ""),
    "vexa_receive_time_out": ("INT", ""),
    "vexa_re_send_times": ("INT", ""),
    "vexa_network_card_ip": ("TEXT", ""),
    "vexa_network_card_port": ("INT", ""),
    "vexa_chn_code_mode": ("INT", ""),
    "vexa_logged_in": ("INT", "TEXT:ip"),
    "vexa_hall_open": ("INT", "TEXT:path BUFFER:error INT:error_size"),
    "vexa_hall_call": ("INT", "INT:hall TEXT:ticket INT:counter"),
    "vexa_hall_upload": ("INT", "INT:hall"),
    "vexa_hall_clock": ("INT", "INT:hall"),
    "vexa_hall_serve_logins": ("INT", "INT:hall"),
    "vexa_hall_result_count": ("INT", "INT:hall"),
    "vexa_hall_result_sign": ("TEXT", "INT:hall INT:index"),
    "vexa_hall_result_command": ("TEXT", "INT:hall INT:index"),
    "vexa_hall_result_code": ("INT", "INT:hall INT:index"),
    "vexa_hall_result_reason": ("TEXT", "INT:hall INT:index"),
    "vexa_hall_result_ms": ("INT", "INT:hall INT:index"),
    "vexa_hall_close": ("INT", "INT:hall"),
}

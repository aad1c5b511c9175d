"""The C functions of libvexa-x86 as the package calls them.

Kept equal to the list in the library's header vexa_functions.h (the tests
compare the two): for each function its return kind and its parameters as
``KIND:name`` in order. Kinds: TEXT (``const char*``), INT, BOOL, SHORT;
returns INT, BOOL or VOID.
"""

from __future__ import annotations

SIGNATURES: dict[str, tuple[str, str]] = {
    "vexa_bind_network_card": ("VOID", "TEXT:localIp INT:localPort"),
    "vexa_set_time_out": ("VOID", "INT:sendTimeOut INT:receiveTimeOut"),
    "vexa_set_receive_time_out": ("VOID", "INT:timeOut"),
    "vexa_set_re_send_times": ("VOID", "INT:reSendTimes"),
    "vexa_set_chn_code_mode": ("VOID", "INT:chnCodeMode"),
    "vexa_close_com": ("INT", ""),
    "vexa_open_server": ("INT", "INT:port"),
    "vexa_close_server": ("INT", ""),
    "vexa_task_thread_exe": ("VOID", ""),
    "vexa_write_log": ("VOID", "TEXT:title TEXT:message"),
    "vexa_write_log_thread": ("VOID", "TEXT:title TEXT:message"),
    "vexa_play_show_page_net": ("INT", "TEXT:ip INT:networkMode INT:pageNo"),
    "vexa_start_play_net": ("INT", "TEXT:ip INT:networkMode"),
    "vexa_stop_play_net": ("INT", "TEXT:ip INT:networkMode"),
    "vexa_relay_switch_net": ("INT", "TEXT:ip INT:networkMode INT:relayNo INT:action"),
    "vexa_relay_delay_net": ("INT", "TEXT:ip INT:networkMode INT:relayNo INT:delay"),
    "vexa_set_bright_net": ("INT", "TEXT:ip INT:networkMode INT:value1 INT:value2"),
    "vexa_send_date_time_net": (
        "INT",
        "TEXT:ip INT:networkMode INT:materialId INT:displayMode INT:dtField4High "
        "INT:dtField4Low INT:dtField5High INT:dtField5Low INT:dtField6 INT:dtField0 "
        "INT:dtField1 INT:dtTopBit INT:dtField2 INT:dtField3 INT:style3 INT:extraByte",
    ),
    "vexa_time_check_net": ("INT", "TEXT:ip INT:networkMode"),
    "vexa_send_collection_data_net": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:dataIndex INT:textStyle INT:attrHigh "
        "INT:attrLow",
    ),
    "vexa_send_coordinate_text_net": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:x INT:y INT:textStyle INT:attrHigh INT:attrLow",
    ),
    "vexa_send_internal_text_net": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:areaWidth INT:areaHeight INT:materialId "
        "INT:displayMode INT:style1 INT:style2 INT:style3 INT:textStyle INT:attrHigh "
        "INT:attrLow INT:levelCode BOOL:primaryFlag INT:extraByte",
    ),
    "vexa_send_internal_text_net_custom": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:areaWidth INT:areaHeight INT:materialId "
        "INT:displayMode INT:style1 INT:style2 INT:style3 INT:textStyle INT:attrHigh "
        "INT:attrLow INT:levelCode INT:primaryCode",
    ),
    "vexa_send_mul_collection_data_net": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:dataIndex INT:displayMode INT:textStyle "
        "INT:attrHigh INT:attrLow INT:index INT:count",
    ),
    "vexa_send_mul_internal_text_net": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:areaWidth INT:areaHeight INT:materialId "
        "INT:displayMode INT:style1 INT:style2 INT:style3 INT:textStyle INT:attrHigh "
        "INT:attrLow INT:levelCode BOOL:primaryFlag INT:extraByte INT:index INT:count",
    ),
    "vexa_send_mul_material": (
        "INT",
        "INT:transport INT:networkMode TEXT:ip INT:serialProtocol INT:portNumber INT:baudRate "
        "TEXT:deviceAddress TEXT:text INT:commandCode INT:materialId INT:spareValue "
        "INT:displayMode INT:areaWidth INT:areaHeight INT:style1 INT:style2 INT:style3 "
        "INT:textStyle INT:attrHigh INT:attrLow INT:levelCode BOOL:primaryFlag INT:extraByte "
        "INT:index INT:count",
    ),
    "vexa_play_voice_net": ("INT", "TEXT:text TEXT:ip TEXT:spareText INT:networkMode INT:subCode"),
    "vexa_play_voice2_net": (
        "INT",
        "TEXT:text TEXT:ip TEXT:spareText INT:networkMode INT:subCode INT:vTag INT:soundNo "
        "INT:mTag",
    ),
    "vexa_send_line_up_content": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:slotNo INT:lineKind INT:unitAddress "
        "BOOL:bracketed",
    ),
    "vexa_send_line_up_net": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:slotNo INT:lineKind INT:unitAddress "
        "BOOL:bracketed",
    ),
    "vexa_send_line_up2_net": (
        "INT",
        "TEXT:text TEXT:ip INT:networkMode INT:slotNo INT:lineKind INT:unitAddress "
        "BOOL:bracketed INT:pageChars",
    ),
    "vexa_send_image_group_net": (
        "INT",
        "TEXT:source TEXT:ip INT:networkMode INT:width INT:height INT:materialId "
        "INT:displayMode INT:style1 INT:style2 INT:style3 INT:levelCode BOOL:primaryFlag "
        "INT:index INT:count",
    ),
    "vexa_send_image_group_buffer": (
        "INT",
        "INT:transport INT:networkMode TEXT:ip INT:serialProtocol INT:portNumber INT:baudRate "
        "TEXT:deviceAddress TEXT:source INT:width INT:height INT:materialId INT:displayMode "
        "INT:style1 INT:style2 INT:style3 INT:levelCode BOOL:primaryFlag INT:index INT:count",
    ),
    "vexa_send_multimedia_net": (
        "INT",
        "TEXT:source TEXT:ip INT:networkMode BOOL:form78 INT:horizontal INT:vertical "
        "INT:width INT:height INT:colourMode INT:byte17Flag INT:byte18Value",
    ),
    "vexa_send_multimedia_buffer": (
        "INT",
        "TEXT:source TEXT:ip INT:networkMode SHORT:commandCode INT:horizontal INT:vertical "
        "INT:width INT:height INT:colourMode INT:byte17Flag INT:byte18Value",
    ),
    "vexa_play_image_group_net": (
        "INT",
        "TEXT:ip INT:networkMode INT:modeSelect INT:groupNo INT:byte5 INT:word6 INT:word8 "
        "INT:byte10 INT:byte11 INT:byte12 BOOL:byte2Clear BOOL:highModeBits",
    ),
    "vexa_set_params4_bar_screen_com": (
        "INT",
        "INT:serialProtocol INT:portNumber INT:baudRate INT:frameByte13 INT:frameByte6 "
        "INT:frameByte7 INT:twoWay INT:frameByte9 BOOL:clearByte14",
    ),
    "vexa_send_content2_bar_screen_com": (
        "INT",
        "TEXT:text INT:serialProtocol INT:portNumber INT:baudRate INT:screenAddress "
        "INT:colour INT:pageWidth INT:unused1 INT:unused2 INT:frameWord13 INT:moveStyle1 "
        "INT:moveStyle2 INT:pageByte3 INT:pageByte5 INT:pageByte7 INT:pageByte8 "
        "BOOL:byte10Is82",
    ),
    "vexa_get_move_style": ("INT", "INT:moveStyle"),
    "vexa_play_show_page_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate INT:pageNo",
    ),
    "vexa_start_play_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate",
    ),
    "vexa_stop_play_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate",
    ),
    "vexa_relay_switch_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate INT:relayNo "
        "INT:action",
    ),
    "vexa_relay_delay_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate INT:relayNo "
        "INT:delay",
    ),
    "vexa_set_bright_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate INT:value1 "
        "INT:value2",
    ),
    "vexa_time_check_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate",
    ),
    "vexa_send_date_time_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate INT:materialId "
        "INT:displayMode INT:dtField4High INT:dtField4Low INT:dtField5High INT:dtField5Low "
        "INT:dtField6 INT:dtField0 INT:dtField1 INT:dtTopBit INT:dtField2 INT:dtField3 "
        "INT:style3 INT:extraByte",
    ),
    "vexa_play_image_group_com": (
        "INT",
        "TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate INT:modeSelect "
        "INT:groupNo INT:byte5 INT:word6 INT:word8 INT:byte10 INT:byte11 INT:byte12 "
        "BOOL:byte2Clear BOOL:highModeBits",
    ),
    "vexa_send_collection_data_com": (
        "INT",
        "TEXT:text TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate "
        "INT:dataIndex INT:textStyle INT:attrHigh INT:attrLow",
    ),
    "vexa_send_internal_text_com": (
        "INT",
        "TEXT:text TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate "
        "INT:areaWidth INT:areaHeight INT:materialId INT:displayMode INT:style1 INT:style2 "
        "INT:style3 INT:textStyle INT:attrHigh INT:attrLow INT:levelCode BOOL:primaryFlag "
        "INT:extraByte",
    ),
    "vexa_send_line_up_com": (
        "INT",
        "TEXT:text TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate "
        "INT:slotNo INT:lineKind INT:unitAddress BOOL:bracketed",
    ),
    "vexa_play_voice_com": (
        "INT",
        "TEXT:text TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate",
    ),
    "vexa_play_voice2_com": (
        "INT",
        "TEXT:text TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate INT:vTag "
        "INT:soundNo INT:mTag",
    ),
    "vexa_send_mul_collection_data_com": (
        "INT",
        "TEXT:text TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate "
        "INT:dataIndex INT:displayMode INT:textStyle INT:attrHigh INT:attrLow INT:index "
        "INT:count",
    ),
    "vexa_send_mul_internal_text_com": (
        "INT",
        "TEXT:text TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate "
        "INT:areaWidth INT:areaHeight INT:materialId INT:displayMode INT:style1 INT:style2 "
        "INT:style3 INT:textStyle INT:attrHigh INT:attrLow INT:levelCode BOOL:primaryFlag "
        "INT:extraByte INT:index INT:count",
    ),
    "vexa_send_image_group_com": (
        "INT",
        "TEXT:source TEXT:deviceAddress INT:serialProtocol INT:portNumber INT:baudRate "
        "INT:width INT:height INT:materialId INT:displayMode INT:style1 INT:style2 INT:style3 "
        "INT:levelCode BOOL:primaryFlag INT:index INT:count",
    ),
    "vexa_add_show_page": ("INT", "INT:pageNo TEXT:startTime TEXT:endTime INT:pageExtra"),
    "vexa_add_area": ("INT", "INT:pageNo INT:x INT:y INT:areaWidth INT:areaHeight"),
    "vexa_add_template_internal_text": (
        "INT",
        "INT:pageNo TEXT:text INT:materialId INT:displayMode INT:style1 INT:style2 INT:style3 "
        "INT:textStyle INT:attrHigh INT:attrLow BOOL:unused",
    ),
    "vexa_add_template_collect_data": (
        "INT",
        "INT:pageNo TEXT:text INT:dataIndex INT:displayMode INT:textStyle INT:attrHigh "
        "INT:attrLow",
    ),
    "vexa_add_template_date_time": (
        "INT",
        "INT:pageNo INT:materialId INT:displayMode INT:dtField4High INT:dtField4Low "
        "INT:dtField5High INT:dtField5Low INT:dtField6 INT:dtField0 INT:dtField1 INT:dtTopBit "
        "INT:dtField2 INT:dtField3 INT:style3 BOOL:unused",
    ),
    "vexa_add_template_image_group": (
        "INT",
        "INT:pageNo TEXT:fileList INT:materialId INT:displayMode INT:style1 INT:style2 "
        "INT:style3",
    ),
    "vexa_add_template_line_up": (
        "INT",
        "INT:pageNo TEXT:text INT:style3 INT:textStyle INT:attrHigh INT:attrLow "
        "INT:lineUpIndex BOOL:lineUpFlag",
    ),
    "vexa_gen_material": (
        "INT",
        "INT:pageNo TEXT:text TEXT:fileList INT:materialType INT:materialId INT:displayMode "
        "INT:style1 INT:style2 INT:style3 INT:textStyle INT:attrHigh INT:attrLow "
        "INT:levelSelector INT:dtField1 INT:dtField4High INT:dtField4Low INT:dtField6 "
        "INT:dtField0 INT:dtTopBit INT:dtField2 INT:dtField3 INT:dataIndex INT:lineUpIndex "
        "BOOL:primaryFlag BOOL:lineUpFlag",
    ),
    "vexa_check_show_page": ("BOOL", ""),
    "vexa_send_template_data_net": ("INT", "TEXT:ip INT:networkMode"),
}

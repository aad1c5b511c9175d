-- Wireshark dissector for the frames libvexa-x86 exchanges with LED sign
-- controllers: commands and replies over UDP (controller port 8800, host
-- port 8801), TCP (controller port 8900) and the login link (a TCP
-- connection the controller opens to the host's login server, which greets
-- it with a 0x62 frame and then sends commands over it).
--
-- Every frame is decoded into the fields `vexa-sim decode --json` prints,
-- under the names vexa.<the emulator's name in snake_case> (docs/wireshark.md
-- gives the whole mapping), with the same check failures, so that the two
-- decoders can be held against each other. A reply also shows the result
-- code the library returns for it.
--
-- Install: copy this file into Wireshark's Lua plugin folder
-- (/usr/lib/x86_64-linux-gnu/wireshark/plugins on Debian, or
-- ~/.local/lib/wireshark/plugins), or load it for one run with
-- `tshark -X lua_script:vexa.lua`.

local vexa = Proto("vexa", "Vexa LED sign controller protocol")

-- Constants of the frames ------------------------------------------------------

local MAGIC = "\254\092\075\137"   -- FE 5C 4B 89
local NET_HEADER = 17              -- bytes before the payload
local NET_OVERHEAD = 19            -- header and end mark
local FULL_DATAGRAM = 1408         -- the library cuts longer frames into datagrams of this size
local LARGEST_FRAME = 3000
local FRAME_LIMIT = LARGEST_FRAME + FULL_DATAGRAM  -- what a length field may announce
-- Quiet times after which the emulator takes what a connection or a sender
-- has left as it stands (milliseconds).
local STREAM_IDLE_MS = 30          -- held bytes that end in the end mark FF FF
local STREAM_STALL_MS = 1000       -- any other held bytes
local DATAGRAM_IDLE_MS = 200       -- a frame still missing datagrams
local MAX_PENDING_SOURCES = 64
local PAGE_SET_TAIL = "1000000000#01#10;"

local band, bor, bxor, rshift = bit32.band, bit32.bor, bit32.bxor, bit32.rshift

-- Preferences --------------------------------------------------------------------

vexa.prefs.udp_port = Pref.uint("Controller UDP port", 8800, "Datagrams to this port are commands, from it replies")
vexa.prefs.tcp_port = Pref.uint("Controller TCP port", 8900, "Stream connections to this port carry commands and replies")
vexa.prefs.login_port = Pref.uint("Login server port", 9000,
  "The host's login server: controllers connect to it and receive commands over the connection")

-- Fields -------------------------------------------------------------------------
-- Each field of the emulator's JSON is vexa.<name in snake_case>. Numbers
-- are unsigned integers, texts and the emulator's own words are strings,
-- bytes are bytes. Fields that repeat per page of a page set and per
-- material of a page are named below vexa.page and vexa.page.m.

local NUMBER, STRING, BYTES = "N", "S", "B"

local function snake(name)
  return (name:gsub("%u", function(c) return "_" .. c:lower() end))
end

-- {emulator name, kind, label}
local field_list = {
  -- the frame
  {"src", STRING, "From"}, {"dst", STRING, "To"}, {"channel", STRING, "Channel"}, {"kind", STRING, "Kind"}, {"name", STRING, "Name"},
  {"length", NUMBER, "Frame length"}, {"checks", STRING, "Checks"}, {"error", STRING, "Error"},
  {"magic", BYTES, "Magic"}, {"totalLengthField", NUMBER, "Total length field"},
  {"subCode", NUMBER, "Sub-code"}, {"payloadLengthField", NUMBER, "Payload length field"},
  {"endMark", BYTES, "End mark"}, {"payload", BYTES, "Payload"}, {"extra", BYTES, "Extra bytes"},
  {"result", NUMBER, "Result the library returns"}, {"resultReason", STRING, "Why"},
  {"piece", NUMBER, "Datagram piece"}, {"joinedIn", NUMBER, "Frame joined in packet"},
  -- replies
  {"status", STRING, "Status"}, {"meaning", STRING, "Meaning"},
  -- play control, relays, brightness
  {"page", NUMBER, "Page"}, {"pageCheck", STRING, "Page check"},
  {"value1", NUMBER, "Value 1"}, {"value1Check", STRING, "Value 1 check"},
  {"value2", NUMBER, "Value 2"}, {"value2Check", STRING, "Value 2 check"},
  -- clock and greeting
  {"form", STRING, "Form"}, {"dateTime", STRING, "Date and time"},
  -- line-up
  {"unitAddress", NUMBER, "Unit address"}, {"slotNo", NUMBER, "Slot"}, {"bracketed", STRING, "Bracketed"},
  {"lineKind", STRING, "Line kind"}, {"lengthField", NUMBER, "Length byte"}, {"check", STRING, "Nibble check"},
  -- voice
  {"spokenText", STRING, "Spoken text"}, {"vTag", STRING, "V tag"}, {"soundTag", STRING, "Sound tag"},
  {"mTag", STRING, "M tag"},
  -- texts
  {"x", NUMBER, "X"}, {"y", NUMBER, "Y"}, {"textStyle", NUMBER, "Text style"},
  {"attrHigh", NUMBER, "Attribute high nibble"}, {"attrLow", NUMBER, "Attribute low nibble"},
  {"textLength", NUMBER, "Text length"}, {"text", STRING, "Text"},
  {"records", NUMBER, "Records"}, {"record", NUMBER, "Record"}, {"dataIndex", NUMBER, "Data index"},
  {"flags", BYTES, "Flags"}, {"styleHigh", NUMBER, "Style high nibble"}, {"styleLow", NUMBER, "Style low nibble"},
  -- template blocks
  {"blocks", NUMBER, "Blocks"}, {"block", NUMBER, "Block"}, {"materialId", STRING, "Material"},
  {"style1", NUMBER, "Style 1"}, {"style2", NUMBER, "Style 2"}, {"style3", NUMBER, "Style 3"},
  {"headerLength", NUMBER, "Header length"}, {"extraByte", NUMBER, "Extra byte"},
  {"contentType", STRING, "Content type"}, {"content", STRING, "Content"}, {"primary", STRING, "Primary"},
  {"level", NUMBER, "Level"}, {"packType", STRING, "Pack type"}, {"displayMode", NUMBER, "Colour mode"},
  {"imageCount", NUMBER, "Image count"}, {"headerWord", NUMBER, "Header word"},
  {"areaWidth8", NUMBER, "Area width / 8"}, {"areaHeight", NUMBER, "Area height"},
  {"dtField0", NUMBER, "Date-time field 0"}, {"dtField1", NUMBER, "Date-time field 1"},
  {"dtTopBit", NUMBER, "Date-time top bit"}, {"dtField2", NUMBER, "Date-time field 2"},
  {"dtField3", NUMBER, "Date-time field 3"}, {"dtField4High", NUMBER, "Date-time field 4 high"},
  {"dtField4Low", NUMBER, "Date-time field 4 low"}, {"dtField5High", NUMBER, "Date-time field 5 high"},
  {"dtField5Low", NUMBER, "Date-time field 5 low"}, {"dtField6", NUMBER, "Date-time field 6"},
  {"lineUpIndex", NUMBER, "Line-up index"}, {"bitmapLength", NUMBER, "Bitmap bytes"},
  {"contentBytes", BYTES, "Content bytes"}, {"bytes", BYTES, "Bytes"},
  {"mark", NUMBER, "Mark"}, {"packCount", NUMBER, "Pack count"}, {"packIndex", NUMBER, "Pack index"},
  {"sequenceNo", NUMBER, "Sequence number"}, {"trailerWordB", NUMBER, "Trailer word B"},
  {"trailerWordC", NUMBER, "Trailer word C"}, {"last", STRING, "Last of the set"},
  -- page set
  {"set", STRING, "Set number"}, {"pages", NUMBER, "Pages"}, {"unread", BYTES, "Unread bytes"},
  {"page.start", STRING, "Start"}, {"page.end", STRING, "End"}, {"page.materials", NUMBER, "Materials"},
  {"page.m", NUMBER, "Material"}, {"page.m.id", STRING, "Material number"}, {"page.m.type", STRING, "Type"},
  {"page.m.x8", STRING, "X / 8"}, {"page.m.y", STRING, "Y"}, {"page.m.w8", STRING, "Width / 8"},
  {"page.m.h", STRING, "Height"}, {"page.m.tail", STRING, "Tail"},
  -- image groups and multimedia
  {"b", NUMBER, "Group (b)"}, {"bCheck", STRING, "Group check"}, {"i", STRING, "i"},
  {"modeBits", BYTES, "Mode bits"}, {"mode", STRING, "Mode"},
  {"c", NUMBER, "c"}, {"d", NUMBER, "d"}, {"e", NUMBER, "e"}, {"f", NUMBER, "f"}, {"g", NUMBER, "g"},
  {"h", NUMBER, "h"}, {"horizontal8", NUMBER, "Horizontal / 8"}, {"vertical", NUMBER, "Vertical"},
  {"width8", NUMBER, "Width / 8"}, {"height", NUMBER, "Height"}, {"flag", NUMBER, "Flag"},
  {"value", NUMBER, "Value"}, {"dataLength", NUMBER, "Data bytes"},
}
for k = 1, 8 do
  field_list[#field_list + 1] = {"relay" .. k, STRING, "Relay " .. k}
  field_list[#field_list + 1] = {"relay" .. k .. "Check", STRING, "Relay " .. k .. " check"}
end

local PF = {}      -- emulator name (with its "page." / "page.m." path) -> ProtoField
local KIND = {}    -- emulator name -> NUMBER, STRING or BYTES
do
  local list = {}
  local f_command = ProtoField.uint8("vexa.command", "Command", base.HEX)
  PF.command = f_command
  list[#list + 1] = f_command
  for _, entry in ipairs(field_list) do
    local name, kind, label = entry[1], entry[2], entry[3]
    local abbr = "vexa." .. snake(name)
    local pf
    if kind == NUMBER then
      pf = ProtoField.uint32(abbr, label, base.DEC)
    elseif kind == BYTES then
      pf = ProtoField.bytes(abbr, label, base.SPACE)
    else
      pf = ProtoField.string(abbr, label)
    end
    PF[name] = pf
    KIND[name] = kind
    list[#list + 1] = pf
  end
  vexa.fields = list
end

local ex_check = ProtoExpert.new("vexa.check_failed", "Frame fails its checks", expert.group.PROTOCOL,
  expert.severity.WARN)
local ex_refused = ProtoExpert.new("vexa.refused", "The controller refused the command",
  expert.group.RESPONSE_CODE, expert.severity.NOTE)
vexa.experts = {ex_check, ex_refused}

-- Bytes and texts ------------------------------------------------------------------

local HEXDIGITS = "0123456789ABCDEF"

local function hex(s, at, n)
  local out = {}
  for i = at + 1, at + n do
    local b = s:byte(i)
    local hi, lo = rshift(b, 4) + 1, band(b, 15) + 1
    out[#out + 1] = HEXDIGITS:sub(hi, hi) .. HEXDIGITS:sub(lo, lo)
  end
  return table.concat(out, " ")
end

local function hex_code(code)
  return string.format("0x%02x", band(code, 255))
end

local function le16(s, at)
  local a, b = s:byte(at + 1, at + 2)
  return a + b * 256
end

local function be16(s, at)
  local a, b = s:byte(at + 1, at + 2)
  return a * 256 + b
end

local function le32(s, at)
  local a, b, c, d = s:byte(at + 1, at + 4)
  return a + b * 256 + c * 65536 + d * 16777216
end

-- GBK double-byte characters as UTF-8, decoded through Wireshark's GB18030
-- decoder one pair at a time and kept once decoded. GB18030 gives the same
-- characters for every pair that GBK defines, and characters of its own
-- where GBK has none: the private-use areas, 0xFE50-0xFEA0 and the pairs
-- below. Those are no character here, as they are none in GBK. (Wireshark
-- 4.0 drops a character that ends its input, so a third byte is always
-- given and only the first character taken.)
local GB18030_ONLY = {
  [0xA2E3] = true, [0xA6EC] = true, [0xA6ED] = true, [0xA6F3] = true, [0xA8BC] = true, [0xA8BF] = true,
}
for code = 0xA6D9, 0xA6DF do GB18030_ONLY[code] = true end
for code = 0xA989, 0xA995 do GB18030_ONLY[code] = true end

local gbk_cache = {}   -- lead * 256 + trail -> UTF-8 text, or false when no character

local function first_utf8_char(s)
  local b = s:byte(1)
  if not b then return nil, 0 end
  local len = b < 0x80 and 1 or b < 0xE0 and 2 or b < 0xF0 and 3 or 4
  local cp
  if len == 1 then
    cp = b
  elseif len == 2 then
    cp = band(b, 0x1F) * 64 + band(s:byte(2) or 0, 0x3F)
  elseif len == 3 then
    cp = band(b, 0x0F) * 4096 + band(s:byte(2) or 0, 0x3F) * 64 + band(s:byte(3) or 0, 0x3F)
  else
    cp = band(b, 0x07) * 262144 + band(s:byte(2) or 0, 0x3F) * 4096 + band(s:byte(3) or 0, 0x3F) * 64 +
      band(s:byte(4) or 0, 0x3F)
  end
  return s:sub(1, len), cp
end

local function gbk_char(lead, trail)
  if lead < 0x81 or lead == 0xFF or trail < 0x40 or trail == 0xFF then return false end
  local code = lead * 256 + trail
  local known = gbk_cache[code]
  if known ~= nil then return known end
  if GB18030_ONLY[code] or (code >= 0xFE50 and code <= 0xFEA0) then
    gbk_cache[code] = false
    return false
  end
  local decoded = ByteArray.new(string.char(lead, trail, 0x20), true):tvb("GBK"):range(0, 3):string(ENC_GB18030)
  local char, cp = first_utf8_char(decoded)
  local result = char
  if cp == 0xFFFD or cp < 0x80 or (cp >= 0xE000 and cp <= 0xF8FF) then result = false end
  gbk_cache[code] = result
  return result
end

-- A text as the emulator shows it, without its quotes: printable ASCII as
-- it is, '"' and '\' escaped, GBK characters as UTF-8, every other byte
-- as \xNN.
local function shown_text(s, at, n)
  local out = {}
  local i = at + 1
  local last = at + n
  while i <= last do
    local c = s:byte(i)
    if c >= 0x20 and c < 0x7F then
      if c == 0x22 or c == 0x5C then
        out[#out + 1] = "\\" .. string.char(c)
      else
        out[#out + 1] = string.char(c)
      end
      i = i + 1
    else
      local char = c >= 0x80 and i < last and gbk_char(c, s:byte(i + 1))
      if char then
        out[#out + 1] = char
        i = i + 2
      else
        out[#out + 1] = string.format("\\x%02X", c)
        i = i + 1
      end
    end
  end
  return table.concat(out)
end

-- Bytes of a word or message that are no UTF-8 as the characters U+0080 to
-- U+00FF, as they come out of the emulator's JSON.
local function utf8_length(s, i)
  local c = s:byte(i)
  local len = (c >= 0xF0 and c <= 0xF4) and 4 or (c >= 0xE0 and c <= 0xEF) and 3 or (c >= 0xC2 and c <= 0xDF) and 2 or 0
  if len == 0 or i + len - 1 > #s then return 0 end
  for k = 1, len - 1 do
    if band(s:byte(i + k), 0xC0) ~= 0x80 then return 0 end
  end
  local c1 = s:byte(i + 1)
  if (c == 0xE0 and c1 < 0xA0) or (c == 0xED and c1 >= 0xA0) or (c == 0xF0 and c1 < 0x90) or
     (c == 0xF4 and c1 >= 0x90) then
    return 0
  end
  return len
end

local function as_text(s)
  if not s:find("[\128-\255]") then return s end
  local out, i = {}, 1
  while i <= #s do
    local c = s:byte(i)
    local len = c >= 0x80 and utf8_length(s, i) or 1
    if len > 0 then
      out[#out + 1] = s:sub(i, i + len - 1)
      i = i + len
    else
      out[#out + 1] = string.char(0xC0 + rshift(c, 6), 0x80 + band(c, 0x3F))
      i = i + 1
    end
  end
  return table.concat(out)
end

-- Decoded frames ----------------------------------------------------------------------
-- A frame while it is decoded: its bytes as a Lua string, where they lie in
-- the packet (or joined buffer), and the fields found, each with the place
-- of its bytes. Offsets count from 0 at the frame's first byte.

local function new_frame(s)
  return {s = s, fields = {}, ok = true, error = "", reasons = {}, kind = "net", name = "unknown",
          command = nil, sub_code = 0}
end

local function fail(f, why)
  f.ok = false
  if f.error ~= "" then f.error = f.error .. "; " end
  f.error = f.error .. why
  f.reasons[#f.reasons + 1] = why
end

local function add(f, name, value, at, n)
  f.fields[#f.fields + 1] = {name = name, value = value, at = at, n = n}
end

local function add_number(f, name, value, at, n) add(f, name, value, at, n) end
local function add_word(f, name, word, at, n) add(f, name, word, at, n) end
local function add_hex(f, name, at, n) add(f, name, hex(f.s, at, n), at, n) end
local function add_text(f, name, at, n)
  add(f, name, shown_text(f.s, at, n), at, n)
  f.fields[#f.fields].quoted = true
end

local function need_payload(f, p, n, want)
  if n >= want then return true end
  fail(f, "payload has " .. n .. " bytes, expected " .. want)
  add_hex(f, "payload", p, n)
  return false
end

local function no_extra_bytes(f, p, n, used)
  if n <= used then return end
  fail(f, (n - used) .. " unexpected bytes after the payload")
  add_hex(f, "extra", p + used, n - used)
end

local function complement_field(f, name, at)
  local value, check = f.s:byte(at + 1, at + 2)
  local ok = band(bxor(value, 0xFF), 0xFF) == check
  add_word(f, name .. "Check", ok and "ok" or "bad", at + 1, 1)
  if not ok then
    fail(f, name .. " check byte " .. hex(f.s, at + 1, 1) .. " is not the complement of " .. hex(f.s, at, 1))
  end
end

local function is_digit(c) return c and c >= 0x30 and c <= 0x39 end

-- A date-time text "YYYYMMDD00hhmmss" (16 bytes).
local function add_date_time_text(f, name, at)
  add_text(f, name, at, 16)
end

-- Play control, relays, brightness ----------------------------------------------

local function decode_play_show_page(f, p, n)
  if not need_payload(f, p, n, 2) then return end
  add_number(f, "page", f.s:byte(p + 1), p, 1)
  complement_field(f, "page", p)
  no_extra_bytes(f, p, n, 2)
end

local function decode_empty(f, p, n) no_extra_bytes(f, p, n, 0) end

local function relay_action(code)
  if code == 0xFF then return "no change" end
  if code == 0xFC then return "on" end
  if code == 0xFD then return "off" end
  if code >= 0xB0 and code <= 0xBF then return "pulse " .. (code - 0xAF) end
  return "code " .. string.format("%02X", code)
end

local function decode_relay(f, p, n)
  if not need_payload(f, p, n, 16) then return end
  for k = 0, 7 do
    local name = "relay" .. (k + 1)
    add_word(f, name, relay_action(f.s:byte(p + 2 * k + 1)), p + 2 * k, 1)
    complement_field(f, name, p + 2 * k)
  end
  no_extra_bytes(f, p, n, 16)
end

local function decode_set_bright(f, p, n)
  if not need_payload(f, p, n, 4) then return end
  add_number(f, "value1", f.s:byte(p + 1), p, 1)
  complement_field(f, "value1", p)
  add_number(f, "value2", f.s:byte(p + 3), p + 2, 1)
  complement_field(f, "value2", p + 2)
  no_extra_bytes(f, p, n, 4)
end

-- The login server's greeting: "1#", YYYYMMDD00hhmmss, "#050#".
local function decode_login_greeting(f, p, n)
  if not need_payload(f, p, n, 23) then return end
  local s = f.s
  add_date_time_text(f, "dateTime", p + 2)
  if s:sub(p + 1, p + 2) ~= "1#" then
    fail(f, "greeting starts with " .. hex(s, p, 2) .. ", expected 31 23")
  end
  if s:sub(p + 19, p + 23) ~= "#050#" then
    fail(f, "greeting ends with " .. hex(s, p + 18, 5) .. ", expected 23 30 35 30 23")
  end
  for i = 2, 17 do
    if not is_digit(s:byte(p + i + 1)) then
      fail(f, "date-time text holds a byte that is not a digit")
      break
    end
  end
  no_extra_bytes(f, p, n, 23)
end

-- Clock, line-up, voice ---------------------------------------------------------------

-- Year since 2000, month, day, 00, hour, minute, second.
local function decode_clock_bytes(f, p, n)
  if not need_payload(f, p, n, 7) then return end
  local s = f.s
  local y, mo, d, z, h, mi, se = s:byte(p + 1, p + 7)
  add_word(f, "dateTime", string.format("%04d-%02d-%02d %02d:%02d:%02d", 2000 + y, mo, d, h, mi, se), p, 7)
  if mo < 1 or mo > 12 then fail(f, "month " .. mo) end
  if d < 1 or d > 31 then fail(f, "day " .. d) end
  if z ~= 0 then fail(f, "byte 3 is " .. hex(s, p + 3, 1) .. ", expected 00") end
  if h > 23 or mi > 59 or se > 60 then fail(f, "time of day out of range") end
  no_extra_bytes(f, p, n, 7)
end

local function two_digits(s, at)
  local a, b = s:byte(at + 1, at + 2)
  return (a - 48) * 10 + (b - 48)
end

-- Text form '1', '#', YYYYMMDD00hhmmss, '#'; or the 7-byte form.
local function decode_clock(f, p, n)
  local s = f.s
  if n == 7 then
    add_word(f, "form", "bytes", p, 7)
    decode_clock_bytes(f, p, n)
    return
  end
  if n ~= 19 or s:byte(p + 1) ~= 0x31 or s:byte(p + 2) ~= 0x23 or s:byte(p + 19) ~= 0x23 then
    fail(f, "clock record of " .. n .. " bytes is neither \"1#<16 digits>#\" nor 7 bytes")
    add_hex(f, "payload", p, n)
    return
  end
  add_word(f, "form", "text", p, 2)
  add_date_time_text(f, "dateTime", p + 2)
  local d = p + 2
  for i = 0, 15 do
    if not is_digit(s:byte(d + i + 1)) then
      fail(f, "date-time text holds a byte that is not a digit")
      return
    end
  end
  local month, day = two_digits(s, d + 4), two_digits(s, d + 6)
  if month < 1 or month > 12 then fail(f, "month " .. month) end
  if day < 1 or day > 31 then fail(f, "day " .. day) end
  if s:sub(d + 9, d + 10) ~= "00" then fail(f, "characters 9-10 of the date-time text are not \"00\"") end
  if two_digits(s, d + 10) > 23 or two_digits(s, d + 12) > 59 or two_digits(s, d + 14) > 60 then
    fail(f, "time of day out of range")
  end
end

-- unit, 00, length - 1, 00, 'S', 00, slot, [1D], kind, text, [1C], then
-- the nibble check of X, the XOR of every byte before it.
local function decode_line_up(f, p, n)
  if not need_payload(f, p, n, 10) then return end
  local s = f.s
  local bracketed = s:byte(p + 8) == 0x1D
  if bracketed and not need_payload(f, p, n, 12) then return end
  local b = bracketed and 1 or 0
  add_number(f, "unitAddress", s:byte(p + 1), p, 1)
  add_number(f, "slotNo", s:byte(p + 7), p + 6, 1)
  add_word(f, "bracketed", bracketed and "true" or "false", p + 7, b)
  local kind = s:byte(p + 8 + b)
  if kind == 0x1F then
    add_word(f, "lineKind", "1", p + 7 + b, 1)
  elseif kind == 0x1E then
    add_word(f, "lineKind", "2", p + 7 + b, 1)
  elseif kind == 0x0A then
    add_word(f, "lineKind", "other", p + 7 + b, 1)
  else
    fail(f, "kind byte " .. hex(s, p + 7 + b, 1) .. ", expected 1F, 1E or 0A")
  end
  local length_byte = s:byte(p + 3)
  add_number(f, "lengthField", length_byte, p + 2, 1)
  if length_byte ~= band(n - 1, 0xFF) then
    fail(f, "length byte " .. length_byte .. " for a record of " .. n .. " bytes")
  end
  if s:byte(p + 2) ~= 0 or s:byte(p + 4) ~= 0 or s:byte(p + 6) ~= 0 then
    fail(f, "bytes 1, 3 and 5 are not all 00")
  end
  if s:byte(p + 5) ~= 0x53 then fail(f, "byte 4 is " .. hex(s, p + 4, 1) .. ", expected 53 ('S')") end
  local text_at, text_end = 8 + b, n - 2 - b
  add_text(f, "text", p + text_at, text_end - text_at)
  if bracketed and s:byte(p + n - 2) ~= 0x1C then
    fail(f, "closing bracket " .. hex(s, p + n - 3, 1) .. ", expected 1C")
  end
  local x = 0
  for i = p + 1, p + n - 2 do x = bxor(x, s:byte(i)) end
  local want_high = bor(rshift(x, 4), x >= 0x80 and 0xF0 or 0)
  local want_low = band(x, 0x0F)
  local ok = s:byte(p + n - 1) == want_high and s:byte(p + n) == want_low
  add_word(f, "check", ok and "ok" or "bad", p + n - 2, 2)
  if not ok then
    fail(f, "nibble check " .. hex(s, p + n - 2, 2) .. ", expected " .. string.format("%02X %02X", want_high, want_low))
  end
end

-- The voice tags at the front of the spoken text.
local function tag_length(s, at, kind)
  if kind == "v" then
    if s:sub(at + 1, at + 2) ~= "[v" then return 0 end
    local i = at + 2
    while i < #s and is_digit(s:byte(i + 1)) do i = i + 1 end
    if i == at + 2 or i >= #s or s:byte(i + 1) ~= 0x5D then return 0 end
    return i + 1 - at
  end
  local tags = kind == "sound" and {"sound101 ", "sound201 ", "sound301 "} or {"[m3] ", "[m51] "}
  for _, t in ipairs(tags) do
    if s:sub(at + 1, at + #t) == t then return #t end
  end
  return 0
end

-- FD, big-endian L + 2, 01 00, the spoken text of L bytes.
local function decode_bus_voice(f, p, n)
  if not need_payload(f, p, n, 5) then return end
  local s = f.s
  if s:byte(p + 1) ~= 0xFD then fail(f, "voice record starts with " .. hex(s, p, 1) .. ", expected FD") end
  if s:byte(p + 4) ~= 0x01 or s:byte(p + 5) ~= 0x00 then
    fail(f, "voice record bytes 3-4 are " .. hex(s, p + 3, 2) .. ", expected 01 00")
  end
  local counted = be16(s, p + 1)
  if counted < 2 or counted - 2 ~= n - 5 then
    fail(f, "voice length field " .. counted .. " for a spoken text of " .. (n - 5) ..
      " bytes (no trailing zeros on the bus)")
  end
  local spoken = s:sub(p + 6, p + n)
  add_text(f, "spokenText", p + 5, n - 5)
  local at = 0
  for _, kind in ipairs({"v", "sound", "m"}) do
    local len = tag_length(spoken, at, kind)
    if len > 0 then
      add_text(f, kind .. "Tag", p + 5 + at, len)
      at = at + len
    end
  end
  add_text(f, "text", p + 5 + at, n - 5 - at)
end

-- The network's voice record ends with 00 00 after the spoken text.
local function decode_voice(f, p, n)
  if not need_payload(f, p, n, 7) then return end
  local s = f.s
  local counted = be16(s, p + 1)
  if counted + 5 ~= n then
    fail(f, "voice length field " .. counted .. " for a record of " .. n ..
      " bytes (spoken text and closing 00 00)")
    decode_bus_voice(f, p, n)
    return
  end
  if s:byte(p + n - 1) ~= 0 or s:byte(p + n) ~= 0 then
    fail(f, "voice record ends with " .. hex(s, p + n - 2, 2) .. ", expected 00 00")
  end
  decode_bus_voice(f, p, n - 2)
end

-- Coordinate text and collected data --------------------------------------------------

local function decode_coordinate_text(f, p, n)
  if not need_payload(f, p, n, 9) then return end
  local s = f.s
  if s:byte(p + 1) ~= 0x80 then fail(f, "coordinate text starts with " .. hex(s, p, 1) .. ", expected 80") end
  add_number(f, "x", le16(s, p + 1), p + 1, 2)
  add_number(f, "y", le16(s, p + 3), p + 3, 2)
  if s:byte(p + 6) ~= 0 then fail(f, "byte 5 is " .. hex(s, p + 5, 1) .. ", expected 00") end
  add_number(f, "textStyle", s:byte(p + 7), p + 6, 1)
  local attr = s:byte(p + 8)
  add_number(f, "attrHigh", rshift(attr, 4), p + 7, 1)
  add_number(f, "attrLow", band(attr, 15), p + 7, 1)
  local length_byte = s:byte(p + 9)
  add_number(f, "textLength", length_byte, p + 8, 1)
  if band(n - 9, 0xFF) ~= length_byte then
    fail(f, "length byte " .. length_byte .. " for a text of " .. (n - 9) .. " bytes")
  end
  add_text(f, "text", p + 9, n - 9)
end

local RECORD_HEAD = 5

-- A run of collected-data records: a length byte holds the low 8 bits of its
-- text's length, so a text may be 256, 512, ... bytes longer; the split
-- taken is the one with the shortest texts that covers the payload exactly
-- with records whose flag bytes are well-formed.
local function split_records(s, p, n)
  local can_end, text_at = {[n] = true}, {}
  for k = n - 1, 0, -1 do
    if n - k >= RECORD_HEAD and band(s:byte(p + k + 2), 0xAA) == 0 then
      local len = s:byte(p + k + 5)
      while k + RECORD_HEAD + len <= n do
        if can_end[k + RECORD_HEAD + len] then
          can_end[k] = true
          text_at[k] = len
          break
        end
        len = len + 256
      end
    end
  end
  local lengths = {}
  if not can_end[0] then return lengths end
  local k = 0
  while k < n do
    lengths[#lengths + 1] = text_at[k]
    k = k + RECORD_HEAD + text_at[k]
  end
  return lengths
end

local function collected_record(f, at, text_length)
  local s = f.s
  local style, attr = s:byte(at + 3), s:byte(at + 4)
  add_number(f, "dataIndex", s:byte(at + 1), at, 1)
  add_hex(f, "flags", at + 1, 1)
  add_number(f, "styleHigh", rshift(style, 4), at + 2, 1)
  add_number(f, "styleLow", band(style, 15), at + 2, 1)
  add_number(f, "attrHigh", rshift(attr, 4), at + 3, 1)
  add_number(f, "attrLow", band(attr, 15), at + 3, 1)
  add_number(f, "textLength", s:byte(at + 5), at + 4, 1)
  add_text(f, "text", at + RECORD_HEAD, text_length)
end

local function decode_collected_data(f, p, n)
  if not need_payload(f, p, n, RECORD_HEAD) then return end
  local lengths = split_records(f.s, p, n)
  if #lengths == 0 then
    fail(f, "the payload is no run of collected-data records")
    add_hex(f, "payload", p, n)
    return
  end
  if #lengths == 1 then
    collected_record(f, p, lengths[1])
    return
  end
  add_number(f, "records", #lengths, p, n)
  local at = p
  for k, len in ipairs(lengths) do
    local r = new_frame(f.s)
    collected_record(r, at, len)
    f.fields[#f.fields + 1] = {name = "record", value = k, at = at, n = RECORD_HEAD + len, sub = r.fields, ns = ""}
    at = at + RECORD_HEAD + len
  end
end

-- Template blocks (command 0x31) --------------------------------------------------------

local CONTENT_KIND = {["1"] = "dateTime", ["5"] = "lineUp", ["6"] = "collectedData", ["7"] = "text",
                      ["8"] = "imageGroup"}
local BLOCK_NAME = {["1"] = "DateTime", ["5"] = "LineUpField", ["6"] = "CollectedDataField",
                    ["7"] = "InternalText", ["8"] = "ImageGroup"}

local function expect_byte(b, at, want, what)
  if b.s:byte(at + 1) ~= want then
    fail(b, what .. " is " .. hex(b.s, at, 1) .. ", expected " .. string.format("%02X", want))
  end
end

local function expect_zeros(b, at, n, what)
  for i = at + 1, at + n do
    if b.s:byte(i) ~= 0 then
      fail(b, what .. " are " .. hex(b.s, at, n) .. ", expected zeros")
      return
    end
  end
end

local function date_time_content(b, c, n)
  local s = b.s
  if n ~= 7 then
    fail(b, "date-time content of " .. n .. " bytes, expected 7")
    add_hex(b, "contentBytes", c, n)
    return
  end
  local c0, c1, c2, c3, c4, c5, c6 = s:byte(c + 1, c + 7)
  add_number(b, "dtField0", c0, c, 1)
  add_number(b, "dtField1", c1, c + 1, 1)
  add_number(b, "dtTopBit", rshift(c2, 7), c + 2, 1)
  add_number(b, "dtField2", band(c2, 0x7F), c + 2, 1)
  add_number(b, "dtField3", band(c3, 0x7F), c + 3, 1)
  if band(bxor(c2, c3), 0x80) ~= 0 then fail(b, "top bits of date-time bytes 2 and 3 differ") end
  add_number(b, "dtField4High", rshift(c4, 4), c + 4, 1)
  add_number(b, "dtField4Low", band(c4, 15), c + 4, 1)
  add_number(b, "dtField5High", rshift(c5, 4), c + 5, 1)
  add_number(b, "dtField5Low", band(c5, 15), c + 5, 1)
  add_number(b, "dtField6", band(c6, 15), c + 6, 1)
  if rshift(c6, 4) ~= 0 then fail(b, "high nibble of date-time byte 6 is not 0") end
end

local function line_up_content(b, c, n)
  local s = b.s
  if n ~= 8 then
    fail(b, "line-up content of " .. n .. " bytes, expected 8")
    add_hex(b, "contentBytes", c, n)
    return
  end
  add_number(b, "lineUpIndex", s:byte(c + 1), c, 1)
  add_number(b, "attrHigh", rshift(s:byte(c + 2), 4), c + 1, 1)
  add_number(b, "attrLow", band(s:byte(c + 2), 15), c + 1, 1)
  expect_byte(b, c + 2, 0x08, "line-up content byte 2")
  expect_byte(b, c + 3, 0x01, "line-up content byte 3")
  expect_zeros(b, c + 4, 4, "line-up content bytes 4-7")
end

local function collected_data_content(b, c, n)
  local s = b.s
  if n ~= 17 then
    fail(b, "collected-data content of " .. n .. " bytes, expected 17")
    add_hex(b, "contentBytes", c, n)
    return
  end
  expect_byte(b, c, 0x01, "collected-data content byte 0")
  add_number(b, "dataIndex", s:byte(c + 2), c + 1, 1)
  expect_byte(b, c + 2, 0x01, "collected-data content byte 2")
  expect_byte(b, c + 3, 0x01, "collected-data content byte 3")
  local style = s:byte(c + 5)
  add_number(b, "textStyle", band(style, 15), c + 4, 1)
  if rshift(style, 4) ~= band(style, 15) then
    fail(b, "style byte " .. hex(s, c + 4, 1) .. " holds two different nibbles")
  end
  add_number(b, "attrHigh", rshift(s:byte(c + 6), 4), c + 5, 1)
  add_number(b, "attrLow", band(s:byte(c + 6), 15), c + 5, 1)
  expect_zeros(b, c + 6, 11, "collected-data content bytes 6-16")
end

local function block_content(b, kind, c, n)
  if kind == "1" then
    date_time_content(b, c, n)
  elseif kind == "5" then
    line_up_content(b, c, n)
  elseif kind == "6" then
    collected_data_content(b, c, n)
  elseif kind == "7" then
    add_number(b, "textLength", n, c, n)
    add_text(b, "text", c, n)
  elseif kind == "8" then
    add_number(b, "bitmapLength", n, c, n)
  else
    add_hex(b, "contentBytes", c, n)
  end
end

-- One block at p (n bytes left): its fields into b; returns the bytes it
-- takes (all of them when it cannot be delimited).
local function decode_block(b, p, n)
  local s = b.s
  if n < 29 then
    fail(b, "block of " .. n .. " bytes is shorter than its 29-byte head")
    add_hex(b, "bytes", p, n)
    return n
  end
  local digits = true
  for i = 0, 8 do
    local c = s:byte(p + i + 1)
    digits = digits and (is_digit(c) or (i == 0 and c == 0x2D))
  end
  if digits then
    add_word(b, "materialId", s:sub(p + 1, p + 9), p, 9)
  else
    add_text(b, "materialId", p, 9)
    fail(b, "material number is not nine decimal digits")
  end
  expect_byte(b, p + 9, 0x2C, "byte 9")
  add_number(b, "style1", s:byte(p + 11), p + 10, 1)
  add_number(b, "style2", s:byte(p + 12), p + 11, 1)
  add_number(b, "style3", s:byte(p + 13), p + 12, 1)
  if s:sub(p + 14, p + 25) ~= "010101991231" then fail(b, "bytes 13-24 are not \"010101991231\"") end
  local header_length = le32(s, p + 25)
  add_number(b, "headerLength", header_length, p + 25, 4)
  if header_length ~= 14 and header_length ~= 19 then
    fail(b, "header length " .. header_length .. ", expected 14 or 19")
    return n
  end
  local body_at = 29 + header_length
  if n < body_at + 4 then
    fail(b, "block ends inside its header")
    return n
  end

  local h = p + 29
  local kind_byte = s:byte(h + 5)
  local kind = string.char(kind_byte)
  if s:byte(h + 1) ~= 0x55 or s:byte(h + 2) ~= 0xAA then
    fail(b, "header starts with " .. hex(s, h, 2) .. ", expected 55 AA")
  end
  expect_byte(b, h + 2, 0x00, "header byte 2")
  add_number(b, "extraByte", s:byte(h + 4), h + 3, 1)
  b.content_type = (kind_byte >= 0x20 and kind_byte < 0x7F) and kind or hex(s, h + 4, 1)
  add_word(b, "contentType", b.content_type, h + 4, 1)
  add_word(b, "content", CONTENT_KIND[kind] or "unknown", h + 4, 1)
  if (kind == "7") ~= (header_length == 19) then
    fail(b, "content type " .. hex(s, h + 4, 1) .. " with a header of " .. header_length .. " bytes")
  end
  local primary = s:byte(h + 6)
  if primary == 0x31 or primary == 0x32 then
    add_word(b, "primary", primary == 0x31 and "true" or "false", h + 5, 1)
  else
    fail(b, "primary byte " .. hex(s, h + 5, 1) .. ", expected '1' or '2'")
  end
  local level = s:byte(h + 7)
  if level >= 0x31 and level <= 0x33 then
    add_number(b, "level", level - 0x30, h + 6, 1)
  else
    fail(b, "level byte " .. hex(s, h + 6, 1) .. ", expected '1' to '3'")
  end
  if kind == "8" then
    local pack = s:byte(h + 8)
    if pack == 0x31 or pack == 0x32 then
      add_word(b, "packType", pack == 0x31 and "first" or "later", h + 7, 1)
    else
      fail(b, "pack type " .. hex(s, h + 7, 1) .. ", expected '1' or '2'")
    end
  else
    expect_byte(b, h + 7, 0x31, "header byte 7")
  end
  local colour = s:byte(h + 9)
  if colour >= 0x31 and colour <= 0x33 then
    add_number(b, "displayMode", colour - 0x31, h + 8, 1)
  else
    fail(b, "colour mode byte " .. hex(s, h + 8, 1) .. ", expected '1' to '3'")
  end
  expect_byte(b, h + 9, 0x31, "header byte 9")
  add_number(b, kind == "8" and "imageCount" or "headerWord", le16(s, h + 10), h + 10, 2)
  if header_length == 19 then
    add_number(b, "areaWidth8", le16(s, h + 12), h + 12, 2)
    add_number(b, "areaHeight", le16(s, h + 14), h + 14, 2)
    add_number(b, "textStyle", s:byte(h + 17), h + 16, 1)
    add_number(b, "attrHigh", rshift(s:byte(h + 18), 4), h + 17, 1)
    add_number(b, "attrLow", band(s:byte(h + 18), 15), h + 17, 1)
    expect_byte(b, h + 18, 0x00, "header byte 18")
  else
    expect_zeros(b, h + 12, 2, "header bytes 12-13")
  end

  local body_length = le32(s, p + body_at)
  if body_length < 10 or body_length > n - body_at - 4 then
    fail(b, "body length " .. body_length .. " does not fit the " .. (n - body_at - 4) .. " bytes after it")
    return n
  end
  local content_length = body_length - 10
  local c = p + body_at + 4
  block_content(b, kind, c, content_length)

  local t = c + content_length
  if s:byte(t + 1) ~= 0xFF or s:byte(t + 2) ~= 0x00 then
    fail(b, "trailer starts with " .. hex(s, t, 2) .. ", expected FF 00")
  end
  if kind == "8" then
    add_number(b, "mark", le16(s, t + 2), t + 2, 2)
    add_number(b, "packCount", le16(s, t + 4), t + 4, 2)
    add_number(b, "packIndex", le16(s, t + 6), t + 6, 2)
  else
    add_number(b, "sequenceNo", le16(s, t + 2), t + 2, 2)
    add_number(b, "trailerWordB", le16(s, t + 4), t + 4, 2)
    add_number(b, "trailerWordC", le16(s, t + 6), t + 6, 2)
  end
  expect_zeros(b, t + 8, 2, "trailer bytes 8-9")

  local finish = body_at + 4 + body_length
  local last = n - finish >= 3 and s:sub(p + finish + 1, p + finish + 3) == "-1,"
  add_word(b, "last", last and "true" or "false", p + finish, last and 3 or 0)
  b.last = last
  return last and finish + 3 or finish
end

local function decode_template_blocks(f, p, n)
  local blocks = {}
  local at = 0
  while at < n or #blocks == 0 do
    local b = new_frame(f.s)
    b.at = p + at
    local used = decode_block(b, p + at, n - at)
    b.n = used
    at = at + used
    blocks[#blocks + 1] = b
  end
  local several = #blocks > 1
  if several then add_number(f, "blocks", #blocks, p, n) end
  local kind = blocks[1].content_type or ""
  local same = true
  for k, b in ipairs(blocks) do
    if not b.ok then fail(f, several and ("block " .. k .. ": " .. b.error) or b.error) end
    if b.last and k < #blocks then
      fail(f, "block " .. k .. " carries the closing \"-1,\" but is not the last block")
    end
    same = same and (b.content_type or "") == kind
    if several then
      f.fields[#f.fields + 1] = {name = "block", value = k, at = b.at, n = b.n, sub = b.fields, ns = ""}
    else
      for _, field in ipairs(b.fields) do f.fields[#f.fields + 1] = field end
    end
  end
  if same and #kind == 1 and BLOCK_NAME[kind] then f.name = BLOCK_NAME[kind] end
end

-- The page-set descriptor (command 0x22) -------------------------------------------------

local function is_number_text(t)
  if #t == 0 then return false end
  for i = 1, #t do
    local c = t:byte(i)
    if not (is_digit(c) or (c == 0x2D and i == 1 and #t > 1)) then return false end
  end
  return true
end

local DESCRIPTOR_TYPES = {["1"] = true, ["5"] = true, ["6"] = true, ["7"] = true, ["8"] = true}

local function decode_page_set(f, p, n)
  local s = f.s
  local d = s:sub(p + 1, p + n)
  local pages, err, used = {}, "", 0
  local set_number = ""
  local function stop(at, why)
    used = at
    if err == "" then err = why .. " at offset " .. at end
  end
  repeat
    if n < 9 then stop(0, "descriptor shorter than its nine-digit set number"); break end
    set_number = d:sub(1, 9)
    if not is_number_text(set_number) then err = "set number \"" .. set_number .. "\" is not a number" end
    local pos = 9
    if pos == n then stop(pos, "descriptor holds no page"); break end
    local stopped = false
    while pos < n do
      if d:byte(pos + 1) ~= 0x2C then stop(pos, "expected ',' before a page"); stopped = true; break end
      local dash = d:find("-", pos + 2, true)
      if not dash then stop(pos, "page window without '-'"); stopped = true; break end
      local dot = d:find(".", dash + 1, true)
      if not dot then stop(pos, "page window without '.'"); stopped = true; break end
      -- dash and dot are 1-based: the window's texts lie between them
      local page = {at = pos, start_at = pos + 1, start_n = dash - pos - 2, end_at = dash, end_n = dot - dash - 1,
                    entries = {}}
      pos = dot
      while pos < n and d:byte(pos + 1) ~= 0x2C do
        if n - pos < 39 then
          pages[#pages + 1] = page
          stop(pos, "material entry cut short (" .. (n - pos) .. " of 39 characters)")
          stopped = true
          break
        end
        local e = {at = pos, id = d:sub(pos + 1, pos + 9), type = d:sub(pos + 10, pos + 10),
                   x8 = d:sub(pos + 11, pos + 13), y = d:sub(pos + 14, pos + 16), w8 = d:sub(pos + 17, pos + 19),
                   h = d:sub(pos + 20, pos + 22), tail = d:sub(pos + 23, pos + 39)}
        local where = " of material " .. (#page.entries + 1) .. " on page " .. (#pages + 1)
        if err == "" then
          if not is_number_text(e.id) then
            err = "id \"" .. e.id .. "\"" .. where .. " is not a number"
          elseif not DESCRIPTOR_TYPES[e.type] then
            err = "type '" .. e.type .. "'" .. where .. " is no descriptor type"
          elseif not (is_number_text(e.x8) and is_number_text(e.y) and is_number_text(e.w8) and is_number_text(e.h)) then
            err = "place or size" .. where .. " is not a number"
          elseif e.tail ~= PAGE_SET_TAIL then
            err = "tail \"" .. e.tail .. "\"" .. where .. ", expected \"" .. PAGE_SET_TAIL .. "\""
          end
        end
        page.entries[#page.entries + 1] = e
        pos = pos + 39
      end
      if stopped then break end
      pages[#pages + 1] = page
    end
    if not stopped then used = pos end
  until true

  if set_number ~= "" then add_word(f, "set", set_number, p, 9) end
  add_number(f, "pages", #pages, p, n)
  for i, page in ipairs(pages) do
    local g = new_frame(s)
    add_text(g, "start", p + page.start_at, page.start_n)
    add_text(g, "end", p + page.end_at, page.end_n)
    add_number(g, "materials", #page.entries, p + page.at, 1)
    for k, e in ipairs(page.entries) do
      local m = new_frame(s)
      local q = p + e.at
      add_text(m, "id", q, 9)
      add_text(m, "type", q + 9, 1)
      add_text(m, "x8", q + 10, 3)
      add_text(m, "y", q + 13, 3)
      add_text(m, "w8", q + 16, 3)
      add_text(m, "h", q + 19, 3)
      add_word(m, "tail", e.tail == PAGE_SET_TAIL and "ok" or "bad", q + 22, 17)
      g.fields[#g.fields + 1] = {name = "m", value = k, at = q, n = 39, sub = m.fields, ns = "page.m."}
    end
    local last_at = #page.entries > 0 and page.entries[#page.entries].at + 39 or page.end_at + page.end_n + 1
    f.fields[#f.fields + 1] = {name = "page", value = i, at = p + page.at, n = math.min(last_at, n) - page.at,
                               sub = g.fields, ns = "page."}
  end
  if err ~= "" then
    fail(f, "page set: " .. err)
    if used < n then add_hex(f, "unread", p + used, n - used) end
  end
end

-- Image groups and multimedia ---------------------------------------------------------------

local function decode_play_image(f, p, n)
  if not need_payload(f, p, n, 13) then return end
  local s = f.s
  add_number(f, "b", s:byte(p + 1), p, 1)
  complement_field(f, "b", p)
  local loop = s:byte(p + 3)
  if loop > 1 then fail(f, "byte 2 is " .. hex(s, p + 2, 1) .. ", expected 00 or 01") end
  add_word(f, "i", loop == 0 and "true" or "false", p + 2, 1)
  add_hex(f, "modeBits", p + 3, 1)
  local mode = s:byte(p + 4)
  if mode == 0x05 then
    add_word(f, "mode", "a=1", p + 3, 1)
  elseif mode == 0x50 then
    add_word(f, "mode", "a=0 with j", p + 3, 1)
  elseif mode == 0x00 then
    add_word(f, "mode", "other", p + 3, 1)
  else
    fail(f, "mode byte " .. hex(s, p + 3, 1) .. ", expected 05, 50 or 00")
  end
  if s:byte(p + 5) ~= 0 then fail(f, "byte 4 is " .. hex(s, p + 4, 1) .. ", expected 00") end
  add_number(f, "c", s:byte(p + 6), p + 5, 1)
  add_number(f, "d", le16(s, p + 6), p + 6, 2)
  add_number(f, "e", le16(s, p + 8), p + 8, 2)
  add_number(f, "f", s:byte(p + 11), p + 10, 1)
  add_number(f, "g", s:byte(p + 12), p + 11, 1)
  add_number(f, "h", s:byte(p + 13), p + 12, 1)
  no_extra_bytes(f, p, n, 13)
end

-- The multimedia frame has a header of its own: bytes 9 to 12 hold
-- 19 32 5E 00 where other frames have a sub-code, and in every form but 0x78
-- the two length fields are one more than the bytes. The common header
-- checks do not apply; this frame's own are made here.
local function decode_multimedia(f, p, n)
  f.ok, f.error, f.reasons, f.header_checks = true, "", {}, false
  local s = f.s
  local total_n = #s
  local wide = f.command == 0x78
  local fields_end = wide and 31 or 25
  if total_n < fields_end + 2 then
    fail(f, "multimedia frame of " .. total_n .. " bytes is too short for its fields")
    return
  end
  if s:sub(10, 13) ~= "\025\050\094\000" then
    fail(f, "bytes 9-12 are " .. hex(s, 9, 4) .. ", expected 19 32 5E 00")
  end
  local total, payload = le32(s, 4), le32(s, 13)
  add_word(f, "form", wide and "0x78" or hex_code(f.command), 8, 1)
  add_number(f, "totalLengthField", total, 4, 4)
  add_number(f, "payloadLengthField", payload, 13, 4)
  local extra = wide and 0 or 1
  if total ~= total_n + extra then
    fail(f, "total length field " .. total .. ", expected " .. (total_n + extra))
  end
  if payload ~= total_n - 19 + extra then
    fail(f, "payload length field " .. payload .. ", expected " .. (total_n - 19 + extra))
  end
  if s:byte(total_n - 1) ~= 0xFF or s:byte(total_n) ~= 0xFF then
    fail(f, "end mark " .. hex(s, total_n - 2, 2) .. ", expected FF FF")
  end
  local q = 17
  if wide then
    add_number(f, "horizontal8", le16(s, 17), 17, 2)
    add_number(f, "vertical", le16(s, 19), 19, 2)
    add_number(f, "width8", le16(s, 21), 21, 2)
    add_number(f, "height", le16(s, 23), 23, 2)
    q = 25
  else
    local flag = s:byte(18)
    add_number(f, "flag", flag, 17, 1)
    add_number(f, "value", s:byte(19), 18, 1)
    if flag > 1 then fail(f, "flag byte " .. flag .. ", expected 0 or 1") end
    q = 19
  end
  local reserved, count, index = le16(s, q), le16(s, q + 2), le16(s, q + 4)
  if reserved ~= 0 then fail(f, "reserved word is " .. reserved .. ", expected 0") end
  add_number(f, "packCount", count, q + 2, 2)
  add_number(f, "packIndex", index, q + 4, 2)
  add_number(f, "dataLength", total_n - 2 - fields_end, fields_end, total_n - 2 - fields_end)
  if index >= count then
    fail(f, "pack index " .. index .. " is not below the pack count " .. count)
  end
end

-- Frames --------------------------------------------------------------------------------------

local COMMANDS = {
  [0x22] = {"PageSet", decode_page_set},
  [0x31] = {"TemplateBlock", decode_template_blocks},
  [0x51] = {"StartPlay", decode_empty},
  [0x52] = {"StopPlay", decode_empty},
  [0x60] = {"CoordinateText", decode_coordinate_text},
  [0x61] = {"Relay", decode_relay},
  [0x62] = {"LoginGreeting", decode_login_greeting},
  [0x63] = {"TimeCheck", decode_clock},
  [0x64] = {"LineUp", decode_line_up},
  [0x65] = {"CollectedData", decode_collected_data},
  [0x66] = {"PlayShowPage", decode_play_show_page},
  [0x67] = {"PlayImageGroup", decode_play_image},
  [0x68] = {"PlayVoice", decode_voice},
  [0x6C] = {"Multimedia", decode_multimedia},
  [0x76] = {"SetBright", decode_set_bright},
  [0x78] = {"Multimedia", decode_multimedia},
}

-- The network frame around a payload: magic, total length, command,
-- sub-code, three zero bytes, payload length, payload, end mark FF FF.
-- False when there is no payload to decode.
local function read_envelope(f)
  local s = f.s
  local n = #s
  f.kind = "net"
  if n < 4 or s:sub(1, 4) ~= MAGIC then
    f.kind = "unknown"
    fail(f, "does not start with FE 5C 4B 89")
    if n > 0 then add_hex(f, "payload", 0, n) end
    return false
  end
  f.header_checks = true
  if n < NET_OVERHEAD then
    fail(f, "frame of " .. n .. " bytes is shorter than the 19-byte minimum")
    if n > 8 then f.command = s:byte(9) end
    if n > 9 then f.sub_code = s:byte(10) end
    return false
  end
  f.command = s:byte(9)
  f.sub_code = s:byte(10)
  local total, payload_length = le32(s, 4), le32(s, 13)
  if total ~= n then fail(f, "total length field " .. total .. ", frame has " .. n .. " bytes") end
  if payload_length ~= n - NET_OVERHEAD then
    fail(f, "payload length field " .. payload_length .. ", payload has " .. (n - NET_OVERHEAD) .. " bytes")
  end
  if s:byte(n - 1) ~= 0xFF or s:byte(n) ~= 0xFF then
    fail(f, "end mark " .. hex(s, n - 2, 2) .. ", expected FF FF")
  end
  f.payload_at, f.payload_n = NET_HEADER, n - NET_OVERHEAD
  return true
end

local function decode_command_frame(s)
  local f = new_frame(s)
  if read_envelope(f) then
    local entry = COMMANDS[f.command]
    if entry then
      f.name = entry[1]
      entry[2](f, f.payload_at, f.payload_n)
    elseif f.payload_n > 0 then
      add_hex(f, "payload", f.payload_at, f.payload_n)
    end
  end
  return f
end

-- What the library returns for a reply, as its network sender judges bytes
-- 0, 3, 8 and 17 (a byte the reply does not reach counts as zero).
local function judge_reply(s)
  local function at(i) return s:byte(i + 1) or 0 end
  if at(0) ~= 0xFE or at(3) ~= 0x89 then
    return 1, "not a reply frame (byte 0 is not FE or byte 3 is not 89): the library tries again"
  end
  local code, status = at(8), at(17)
  if code == 0x81 or code == 0x31 or code == 0x6C or code == 0x78 then
    if status == 0x31 then return 0, "accepted" end
    if status == 0x32 then return 3, "refused with status \"2\"" end
    if status == 0x33 then return 4, "refused with status \"3\"" end
    return 1, "answer with an unknown status"
  end
  if code == 0x68 and status == 0x4F then return 0, "voice accepted" end
  return 1, "answer to another command: the library tries again"
end

-- A reply: a network frame whose one payload byte is the status, or the
-- short serial layout FE, a kind byte, four bytes and the status.
local function decode_reply_frame(s)
  local f = new_frame(s)
  f.name = "Reply"
  local n = #s
  local function add_status(at, serial_kind)
    local status = s:byte(at + 1)
    add_text(f, "status", at, 1)
    local meaning = "unknown"
    if status == 0x31 or status == 0x4F or (serial_kind and status == 0) then meaning = "accepted" end
    if status == 0x32 or status == 0x33 then meaning = "refused" end
    add_word(f, "meaning", meaning, at, 1)
    f.refused = meaning == "refused"
  end
  if n >= 4 and s:sub(1, 4) == MAGIC then
    if read_envelope(f) then
      f.kind = "net"
      if f.payload_n == 0 then
        fail(f, "reply without a status byte")
      else
        add_status(f.payload_at, false)
        no_extra_bytes(f, f.payload_at, f.payload_n, 1)
      end
    end
  elseif n >= 2 and s:byte(1) == 0xFE then
    f.kind = "serial"
    f.command = s:byte(2)
    if n < 7 then
      fail(f, "serial reply of " .. n .. " bytes ends before its status byte")
      add_hex(f, "payload", 0, n)
    else
      add_status(6, s:byte(2) == 0x97)
      no_extra_bytes(f, 0, n, 7)
    end
  else
    f.kind = "unknown"
    fail(f, n .. " bytes that are no reply")
    if n > 0 then add_hex(f, "payload", 0, n) end
  end
  f.result, f.result_reason = judge_reply(s)
  return f
end

local function junk_frame(s)
  local f = new_frame(s)
  f.kind = "unknown"
  fail(f, #s .. " bytes that start no frame")
  add_hex(f, "payload", 0, #s)
  return f
end

-- Showing a frame ------------------------------------------------------------------------------

local function render_fields(item, tvb, base, fields, ns, line, prefix)
  for _, fl in ipairs(fields) do
    local key = ns .. fl.name
    local pf = PF[key]
    local range = tvb:range(base + fl.at, fl.n)
    if fl.sub then
      local sub = item:add(pf, range, fl.value)
      local label_prefix = prefix .. fl.name .. fl.value .. "."
      render_fields(sub, tvb, base, fl.sub, fl.ns, line, label_prefix)
    else
      if KIND[key] == BYTES then
        item:add(pf, range)
      elseif KIND[key] == STRING then
        item:add(pf, range, as_text(fl.value))
      else
        item:add(pf, range, fl.value)
      end
      line[#line + 1] = prefix .. fl.name .. "=" .. (fl.quoted and ("\"" .. fl.value .. "\"") or tostring(fl.value))
    end
  end
end

local function summary(f)
  local code = f.command and ("(" .. hex_code(f.command) .. ")") or ""
  local kind = f.kind ~= "net" and (" " .. f.kind) or ""
  return f.name .. code .. kind
end

-- Adds one decoded frame to the tree; tvb holds its bytes from `base`.
local function show_frame(f, tvb, base, tree, channel, src, dst, infos)
  local n = #f.s
  local range = tvb:range(base, n)
  local item = tree:add(vexa, range)
  item:add(PF.src, src)
  item:add(PF.dst, dst)
  item:add(PF.channel, channel)
  item:add(PF.kind, f.kind)
  if f.command then item:add(PF.command, range:range(math.min(8, n - 1), 1), f.command) end
  item:add(PF.name, f.name)
  item:add(PF.subCode, f.sub_code)
  item:add(PF.length, range, n)
  item:add(PF.checks, f.ok and "ok" or "bad")
  if f.error ~= "" then item:add(PF.error, as_text(f.error)) end
  if f.header_checks and n >= NET_OVERHEAD then
    item:add(PF.magic, range:range(0, 4))
    if f.command ~= 0x6C and f.command ~= 0x78 then
      item:add(PF.totalLengthField, range:range(4, 4), le32(f.s, 4))
      item:add(PF.payloadLengthField, range:range(13, 4), le32(f.s, 13))
    end
    item:add(PF.endMark, range:range(n - 2, 2))
  end
  local line = {}
  render_fields(item, tvb, base, f.fields, "", line, "")
  if f.result then
    item:add(PF.result, f.result)
    item:add(PF.resultReason, f.result_reason)
    if f.refused then item:add_proto_expert_info(ex_refused, "refused: the library returns " .. f.result) end
  end
  for _, why in ipairs(f.reasons) do item:add_proto_expert_info(ex_check, as_text(why)) end
  local text = summary(f) .. " " .. table.concat(line, " ") ..
    "  [" .. n .. " bytes, checks " .. (f.ok and "ok" or "FAILED: " .. f.error) .. "]"
  item:append_text(", " .. summary(f))
  infos[#infos + 1] = text
  return item
end


-- Where frames travel --------------------------------------------------------------------------


local HOST_DATAGRAM_PORT = 8801   -- where the library sends datagrams from
local PT_TCP = 2

-- State of the first pass over a capture, kept by packet number so that a
-- packet shows the same frames however often it is dissected again.
local udp_pending    -- sender "a.b.c.d:port" -> the frame being joined from its datagrams
local udp_results    -- packet number -> what its datagram gave: frames, or a piece of one
local tcp_held       -- stream direction -> the start of a frame held back for its rest
local tcp_release    -- packet and buffer -> what the bytes held before it became there
local hosts          -- conversation found by its content -> the host's end "a.b.c.d:port"

local tcp_end_results, tcp_carry

-- What a packet gave is kept with the packet's time: Wireshark starts each
-- pass over a file (and each new file) afresh, and a packet keeps what the
-- first pass found in it, where later passes have no state to find it again.
local function cached(cache, pinfo, key)
  local entry = cache[key]
  if entry and entry.ts == pinfo.abs_ts then return entry.value end
  return nil
end

local function store(cache, pinfo, key, value)
  cache[key] = {ts = pinfo.abs_ts, value = value}
end

udp_results, tcp_release, tcp_end_results = {}, {}, {}
local function reset()
  udp_pending, tcp_held, tcp_carry, hosts = {}, {}, {}, {}
end
reset()
vexa.init = reset

local function endpoint(address, port)
  return tostring(address) .. ":" .. port
end

-- Milliseconds since 1970, truncated as the emulator reads capture times.
local function ms_of(pinfo)
  return math.floor(pinfo.abs_ts * 1000 + 0.0005)
end

local function set_info(pinfo, infos)
  if #infos == 0 then return end
  if tostring(pinfo.cols.protocol) ~= "VEXA" then
    pinfo.cols.protocol:set("VEXA")
    pinfo.cols.info:set(table.concat(infos, " | "))
  else
    pinfo.cols.info:append(" | " .. table.concat(infos, " | "))
  end
end

-- Which way a packet goes: "command" (from the host) or "reply" (from the
-- controller), and the channel's name. Ports the preferences name decide;
-- a conversation found by its content remembers which end is the host.
local function direction(pinfo, tcp, conversation)
  local sport, dport = pinfo.src_port, pinfo.dst_port
  if tcp then
    if dport == vexa.prefs.tcp_port then return "command", "tcp" end
    if sport == vexa.prefs.tcp_port then return "reply", "tcp" end
    if sport == vexa.prefs.login_port then return "command", "login" end
    if dport == vexa.prefs.login_port then return "reply", "login" end
  else
    if dport == vexa.prefs.udp_port then return "command", "udp" end
    if sport == vexa.prefs.udp_port then return "reply", "udp" end
    if sport == HOST_DATAGRAM_PORT then return "command", "udp" end
    if dport == HOST_DATAGRAM_PORT then return "reply", "udp" end
  end
  local host = hosts[conversation]
  local from = endpoint(pinfo.src, sport)
  return (host == nil or host == from) and "command" or "reply", tcp and "tcp" or "udp"
end

-- Datagrams ---------------------------------------------------------------------------------------
-- The library cuts a frame longer than 1408 bytes into datagrams of 1408
-- bytes and a shorter remainder. As the emulator does, a frame is joined per
-- sender: it is complete once its length field is reached or a datagram
-- shorter than 1408 bytes comes; one still waiting for pieces 200 ms later is
-- taken as it is when its sender's next datagram comes.

local function complete_pending(source, w, actions)
  actions[#actions + 1] = {bytes = table.concat(w.parts), src = source, dst = w.dst, packets = w.packets}
  udp_pending[source] = nil
end

local function join_datagram(pinfo, data, sent, source, dst)
  local actions = {}
  local now = ms_of(pinfo)
  local w = udp_pending[source]
  if w and now - w.last >= DATAGRAM_IDLE_MS then
    complete_pending(source, w, actions)
    w = nil
  end
  local n = #data
  if n > FRAME_LIMIT then
    data = data:sub(1, FRAME_LIMIT)
    n = FRAME_LIMIT
  end
  local cut = sent > n and sent - n or 0
  if w then
    w.parts[#w.parts + 1] = data
    w.size = w.size + n
    w.last = now
    w.dst = dst
    w.packets[#w.packets + 1] = pinfo.number
    if w.size >= w.declared or n < FULL_DATAGRAM then
      complete_pending(source, w, actions)
    else
      actions[#actions + 1] = {piece = #w.packets, first = w.packets[1]}
    end
    return actions
  end
  local declared = n >= 8 and le32(data, 4) or 0
  if cut == 0 and n == FULL_DATAGRAM and data:sub(1, 4) == MAGIC and declared > n and declared <= FRAME_LIMIT then
    local count, oldest, oldest_key = 0, nil, nil
    for key, p in pairs(udp_pending) do
      count = count + 1
      if not oldest or p.last < oldest.last then oldest, oldest_key = p, key end
    end
    if count >= MAX_PENDING_SOURCES then complete_pending(oldest_key, oldest, actions) end
    udp_pending[source] = {parts = {data}, size = n, declared = declared, last = now, dst = dst,
                           packets = {pinfo.number}}
    actions[#actions + 1] = {piece = 1, first = pinfo.number}
    return actions
  end
  actions[#actions + 1] = {single = true, src = source, dst = dst, cut = cut, sent = sent}
  return actions
end

local function dissect_datagram(tvb, pinfo, tree, way)
  local infos = {}
  local src, dst = endpoint(pinfo.src, pinfo.src_port), endpoint(pinfo.dst, pinfo.dst_port)
  local got = tvb:len()
  local sent = tvb:reported_length_remaining()
  if sent < got then sent = got end
  if way == "reply" then
    local f = decode_reply_frame(tvb:raw(0, got))
    if got < sent then
      fail(f, "datagram of " .. sent .. " bytes, of which the first " .. got .. " are decoded")
    end
    show_frame(f, tvb, 0, tree, "udp", src, dst, infos)
    set_info(pinfo, infos)
    return
  end
  local actions = cached(udp_results, pinfo, pinfo.number)
  if not actions then
    actions = join_datagram(pinfo, tvb:raw(0, got), sent, src, dst)
    store(udp_results, pinfo, pinfo.number, actions)
  end
  for _, a in ipairs(actions) do
    if a.piece then
      local item = tree:add(vexa, tvb())
      item:add(PF.piece, a.piece)
      item:append_text(", datagram " .. a.piece .. " of a frame split over datagrams")
      if a.joined_in then item:add(PF.joinedIn, a.joined_in):set_generated() end
      infos[#infos + 1] = "datagram " .. a.piece .. " of a frame (first in packet " .. a.first .. ")"
    elseif a.single then
      local n = math.min(got, FRAME_LIMIT)
      local f = decode_command_frame(tvb:raw(0, n))
      if a.cut > 0 then
        fail(f, "datagram of " .. (n + a.cut) .. " bytes, of which the first " .. n .. " are decoded")
      end
      show_frame(f, tvb, 0, tree, "udp", a.src, a.dst, infos)
    else
      local joined = ByteArray.new(a.bytes, true):tvb("Joined frame")
      local f = decode_command_frame(a.bytes)
      local item = show_frame(f, joined, 0, tree, "udp", a.src, a.dst, infos)
      item:append_text(" (joined from " .. #a.packets .. " datagrams)")
      for k, number in ipairs(a.packets) do
        local earlier = udp_results[number]
        if earlier then
          for _, e in ipairs(earlier.value) do
            if e.piece == k then e.joined_in = pinfo.number end
          end
        end
      end
    end
  end
  set_info(pinfo, infos)
end

-- Streams -------------------------------------------------------------------------------------------
-- A stream is split into frames by their magic and length field, as the
-- emulator splits it: a byte that cannot start a frame (or a length field
-- outside 19 to 4408) is skipped, and the bytes skipped are shown together
-- as bytes that start no frame. What the controller sends is decoded as
-- replies. A frame cut between segments is held back through Wireshark's
-- TCP reassembly; when the connection stays quiet 30 ms with the held bytes
-- ending in FF FF (1 s otherwise), they are taken as the frame they are,
-- as the emulator takes them.

-- Bytes of the complete frame at `pos`, 0 when more are needed, -1 when
-- the byte at `pos` starts none.
local function complete_frame_length(s, pos, n)
  local avail = n - pos
  if avail == 0 then return 0 end
  if s:byte(pos + 1) ~= 0xFE then return -1 end
  local known = math.min(avail, 4)
  local magic_so_far = s:sub(pos + 1, pos + known) == MAGIC:sub(1, known)
  if magic_so_far and avail < 4 then return 0 end
  if not magic_so_far then return -1 end
  if avail < 8 then return 0 end
  local total = le32(s, pos + 4)
  if total < NET_OVERHEAD or total > FRAME_LIMIT then return -1 end
  return avail >= total and total or 0
end

local function stream_of(pinfo)
  local a, b = endpoint(pinfo.src, pinfo.src_port), endpoint(pinfo.dst, pinfo.dst_port)
  if a > b then a, b = b, a end
  return a .. " " .. b
end

local function decode_piece(bytes, way, junk)
  if way == "reply" then return decode_reply_frame(bytes) end
  if junk then return junk_frame(bytes) end
  return decode_command_frame(bytes)
end

local function dissect_stream(tvb, pinfo, tree, way, channel, flow)
  local infos = {}
  local src, dst = endpoint(pinfo.src, pinfo.src_port), endpoint(pinfo.dst, pinfo.dst_port)
  local n = tvb:len()
  local raw = tvb:raw(0, n)
  local now = ms_of(pinfo)
  local key = pinfo.number .. ":" .. n .. ":" .. flow
  -- What earlier segments left. Either bytes kept aside here (a run of
  -- bytes that start no frame, or the start of a frame after bytes were
  -- taken as they stood), which come before this segment's bytes; or the
  -- start of a frame that Wireshark's reassembly held back and hands over
  -- again with this segment. After a quiet time either is taken as it
  -- stands, as the emulator takes it.
  local before = cached(tcp_release, pinfo, key)
  if before == nil then
    before = {}
    local carry, held = tcp_carry[flow], tcp_held[flow]
    if carry then
      local wait = (carry.junk or carry.ends_with_mark) and STREAM_IDLE_MS or STREAM_STALL_MS
      before.carry, before.carry_junk, before.carry_alone = carry.bytes, carry.junk, now - carry.last >= wait
      before.pieces = carry.pieces
    elseif held and held.n <= n then
      local wait = held.ends_with_mark and STREAM_IDLE_MS or STREAM_STALL_MS
      if now - held.last >= wait then before.frame = held.n end
      before.pieces = held.pieces
    elseif held then
      before.pieces = held.pieces
    end
    store(tcp_release, pinfo, key, before)
  end
  tcp_carry[flow], tcp_held[flow] = nil, nil

  local pieces = {}
  for _, piece in ipairs(before.pieces or {}) do pieces[#pieces + 1] = piece end
  local prefix = ""
  if before.carry and before.carry_alone then
    pieces[#pieces + 1] = {bytes = before.carry, junk = before.carry_junk}
  elseif before.carry then
    prefix = before.carry
  end
  local s = prefix .. raw      -- the bytes read here; those of this segment from #prefix
  local total = #s
  local pos = 0
  if before.frame then
    pieces[#pieces + 1] = {at = 0, n = before.frame}
    pos = before.frame
  end
  local junk_at
  local complete = true
  while pos < total do
    local len = complete_frame_length(s, pos, total)
    if len == 0 then
      complete = false
      break
    end
    if len < 0 then
      junk_at = junk_at or pos
      pos = pos + 1
      if pos - junk_at >= FRAME_LIMIT then
        pieces[#pieces + 1] = {at = junk_at, n = pos - junk_at, junk = true}
        junk_at = nil
      end
    else
      if junk_at then
        pieces[#pieces + 1] = {at = junk_at, n = pos - junk_at, junk = true}
        junk_at = nil
      end
      pieces[#pieces + 1] = {at = pos, n = len}
      pos = pos + len
    end
  end
  -- What is left: a run of bytes that start no frame (more may follow, and
  -- a run is shown whole), or the start of a frame.
  local rest_at, rest_junk
  if not complete then
    if junk_at then pieces[#pieces + 1] = {at = junk_at, n = pos - junk_at, junk = true} end
    rest_at = pos
  elseif junk_at then
    rest_at, rest_junk = junk_at, true
  end
  -- The start of a frame that lies in this segment is left to Wireshark's
  -- reassembly, unless bytes were just taken after a quiet time (Wireshark
  -- would hand the held ones over again).
  local deseg = rest_at and not rest_junk and not before.frame and rest_at >= #prefix
  for _, piece in ipairs(pieces) do
    if not piece.bytes then piece.bytes = s:sub(piece.at + 1, piece.at + piece.n) end
  end
  -- A call that takes none of its bytes is not made again when Wireshark
  -- shows the packet a second time: what it found waits for the frame held.
  local waiting
  if deseg and rest_at == #prefix and #pieces > 0 then
    waiting, pieces = pieces, {}
    for _, piece in ipairs(waiting) do piece.at = nil end
  end
  for _, piece in ipairs(pieces) do
    local where, base = tvb, piece.at and piece.at - #prefix
    if not base or base < 0 then
      where, base = ByteArray.new(piece.bytes, true):tvb("Reassembled frame"), 0
    end
    show_frame(decode_piece(piece.bytes, way, piece.junk), where, base, tree, channel, src, dst, infos)
  end
  set_info(pinfo, infos)

  if rest_at then
    local rest = s:sub(rest_at + 1)
    local state = {n = #rest, bytes = rest, last = now, junk = rest_junk, pieces = waiting,
                   ends_with_mark = #rest >= 2 and rest:sub(-2) == "\255\255",
                   way = way, channel = channel, src = src, dst = dst}
    if deseg then
      tcp_held[flow] = state
      pinfo.desegment_offset = rest_at - #prefix
      pinfo.desegment_len = DESEGMENT_ONE_MORE_SEGMENT
    else
      tcp_carry[flow] = state
    end
  end
  return n
end

-- When one end closes its side of a connection (FIN) or the connection is
-- reset (RST, both sides), what a side still holds is shown as it stands,
-- in that packet: a frame cut short, or bytes that start no frame.
local f_tcp_fin = Field.new("tcp.flags.fin")
local f_tcp_reset = Field.new("tcp.flags.reset")

local vexa_end = Proto("vexa_end", "Vexa bytes held at the end of a connection")

function vexa_end.dissector(tvb, pinfo, tree)
  local shown = cached(tcp_end_results, pinfo, pinfo.number)
  if shown == nil then
    if pinfo.port_type ~= PT_TCP or (next(tcp_held) == nil and next(tcp_carry) == nil) then
      return
    end
    local fin, reset = f_tcp_fin(), f_tcp_reset()
    fin, reset = fin and fin.value, reset and reset.value
    if not fin and not reset then return end
    local stream = stream_of(pinfo)
    local flows = {stream .. ">" .. endpoint(pinfo.src, pinfo.src_port)}
    if reset then flows[2] = stream .. ">" .. endpoint(pinfo.dst, pinfo.dst_port) end
    shown = {}
    for _, flow in ipairs(flows) do
      local held = tcp_carry[flow] or tcp_held[flow]
      if held then shown[#shown + 1] = held end
      tcp_carry[flow], tcp_held[flow] = nil, nil
    end
    store(tcp_end_results, pinfo, pinfo.number, shown)
  end
  local infos = {}
  for _, held in ipairs(shown) do
    for _, piece in ipairs(held.pieces or {}) do
      local bytes = ByteArray.new(piece.bytes, true):tvb("Bytes that start no frame")
      show_frame(decode_piece(piece.bytes, held.way, piece.junk), bytes, 0, tree, held.channel, held.src, held.dst,
                 infos)
    end
    local bytes = ByteArray.new(held.bytes, true):tvb("Held bytes")
    local f = decode_piece(held.bytes, held.way, held.junk)
    show_frame(f, bytes, 0, tree, held.channel, held.src, held.dst, infos)
  end
  set_info(pinfo, infos)
end

register_postdissector(vexa_end, true)

-- Entry points -----------------------------------------------------------------------------------

local function conversation_of(pinfo, tcp)
  if tcp then return "tcp " .. stream_of(pinfo) end
  local a, b = endpoint(pinfo.src, pinfo.src_port), endpoint(pinfo.dst, pinfo.dst_port)
  if a > b then a, b = b, a end
  return "udp " .. a .. " " .. b
end

function vexa.dissector(tvb, pinfo, tree)
  local tcp = pinfo.port_type == PT_TCP
  local conversation = conversation_of(pinfo, tcp)
  local way, channel = direction(pinfo, tcp, conversation)
  if tcp then
    local flow = stream_of(pinfo) .. ">" .. endpoint(pinfo.src, pinfo.src_port)
    return dissect_stream(tvb, pinfo, tree, way, channel, flow)
  end
  dissect_datagram(tvb, pinfo, tree, way)
  return tvb:len()
end

-- A frame on a port of no preference: the magic and a length field of a
-- frame. The first such frame names the host's end of the conversation: its
-- sender, unless it has the shape of a reply (one payload byte).
local function looks_like_frame(tvb, datagram)
  local n = tvb:len()
  if n < 8 or tvb:raw(0, 4) ~= MAGIC then return false end
  local declared = tvb:range(4, 4):le_uint()
  if declared < NET_OVERHEAD or declared > FRAME_LIMIT then return false end
  if datagram and declared ~= n and not (n == FULL_DATAGRAM and declared > n) then return false end
  return true
end

local function adopt(tvb, pinfo, tcp)
  local conversation = conversation_of(pinfo, tcp)
  if hosts[conversation] == nil then
    local reply_shaped = tvb:len() >= 17 and tvb:range(13, 4):le_uint() == 1
    hosts[conversation] = reply_shaped and endpoint(pinfo.dst, pinfo.dst_port) or endpoint(pinfo.src, pinfo.src_port)
  end
  pinfo.conversation = vexa
end

local function heuristic_udp(tvb, pinfo, tree)
  if not looks_like_frame(tvb, true) then return false end
  adopt(tvb, pinfo, false)
  vexa.dissector(tvb, pinfo, tree)
  return true
end

local function heuristic_tcp(tvb, pinfo, tree)
  if not looks_like_frame(tvb, false) then return false end
  adopt(tvb, pinfo, true)
  vexa.dissector(tvb, pinfo, tree)
  return true
end

local registered = {}

local function register_ports()
  local udp_table, tcp_table = DissectorTable.get("udp.port"), DissectorTable.get("tcp.port")
  for _, r in ipairs(registered) do r[1]:remove(r[2], vexa) end
  registered = {{udp_table, vexa.prefs.udp_port}, {udp_table, HOST_DATAGRAM_PORT},
                {tcp_table, vexa.prefs.tcp_port}, {tcp_table, vexa.prefs.login_port}}
  for _, r in ipairs(registered) do r[1]:add(r[2], vexa) end
end

function vexa.prefs_changed()
  register_ports()
end

register_ports()
vexa:register_heuristic("udp", heuristic_udp)
vexa:register_heuristic("tcp", heuristic_tcp)

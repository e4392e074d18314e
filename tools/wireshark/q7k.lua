-- Q7300 serial sessions recorded by q7kcomm: line bytes on link type USER0
-- (147) with the direction in the packet flags, port events on USER1 (148).
--
--   tshark -X lua_script:/usr/share/q7kcomm/wireshark/q7k.lua -r FILE
--
-- or copy this file into Wireshark's personal plugins folder.
--
-- A frame may span several line packets and a packet may end one frame and
-- start the next; frames are put back together per direction on the first
-- pass and kept by packet number, so dissecting a packet again shows the
-- same frames.

local DLE, STX, ETX = 0x10, 0x02, 0x03
local ACK, NAK = 0x06, 0x15

local commands = {
  [0x0001] = "ReadAppInfo", [0x0002] = "StartPONSequence",
  [0x0003] = "InitTestParams", [0x0004] = "UpdateRuntimeParams",
  [0x0005] = "StartQ7kTest", [0x0006] = "RequestTestResults",
  [0x0007] = "StopQ7kTest", [0x0008] = "RestartLoader",
  [0x000A] = "SendAppParams", [0x000B] = "DownloadApp",
  [0x000C] = "DownloadComplete", [0x000D] = "AbortDownload",
  [0x000E] = "SearchForApp", [0x000F] = "ReadFlashDirectory",
  [0x0010] = "ExecuteApp", [0x0011] = "DeleteApp",
  [0x0012] = "ReadThermalData", [0x0013] = "ReadCalInfo",
  [0x0014] = "SetXfmrBoundaryTemps", [0x0015] = "ReadRefCalCoeffs",
  [0x0016] = "RequestExtendedResults",
  [0x7E00] = "RegWrite", [0x7E01] = "RegRead", [0x7E02] = "RegOr",
  [0x7E03] = "RegAnd", [0x7E04] = "WriteInt", [0x7E05] = "Write32",
  [0x7E06] = "ReadInt", [0x7E07] = "Read32", [0x7E08] = "WriteLong",
  [0x7E09] = "WriteFloat16", [0x7E0A] = "ReadLong", [0x7E0B] = "ReadFloat16",
  [0x7E0C] = "CalculateChecksum", [0x7E0D] = "EnableSoftwareVerify",
  [0x7E0E] = "SendTestWaveform", [0x7E0F] = "EnableGuardCal",
  [0x7E10] = "EnableRefCal", [0x7E11] = "EnableSysCal",
  [0x7E12] = "UpdateRefCal", [0x7E13] = "UpdateGuardCal",
  [0x7E14] = "UpdateSysCal", [0x7E16] = "RequestRawResults",
  [0x7E17] = "EnableSafetyMonitor", [0x7E18] = "RunChipSelectTest",
  [0x7E19] = "ContinuousWriteReg", [0x7E1A] = "ContinuousReadReg",
}

local instrument_errors = {
  [1] = "Invalid Message Number", [2] = "Invalid Message Length",
  [3] = "Unsupported Message", [4] = "Test is Currently Running",
  [5] = "Not Enough Free Space in FLASH for Application",
  [7] = "FLASH Did Not Program Properly", [8] = "FLASH Did Not Erase Properly",
  [9] = "Invalid Number of Application Bytes Received",
  [10] = "FLASH Execute Checksum Error", [11] = "Power On Self Test Error",
  [12] = "Watchdog Reset Error", [13] = "Invalid Message Parameter",
  [14] = "Test Not Running",
}

local function command_name(code)
  return commands[code] or string.format("0x%04X", code)
end

-- The line -------------------------------------------------------------------

local q7k = Proto("q7k", "Q7300 serial link")
local f = q7k.fields
f.direction = ProtoField.string("q7k.direction", "Direction")
f.frame = ProtoField.bytes("q7k.frame", "Frame")
f.lead = ProtoField.uint16("q7k.lead", "Lead bytes", base.HEX)
f.number = ProtoField.uint16("q7k.number", "Message number", base.HEX)
f.command = ProtoField.uint16("q7k.command", "Command", base.HEX, commands)
f.name = ProtoField.string("q7k.name", "Command name")
f.length = ProtoField.int16("q7k.length", "Payload length")
f.payload = ProtoField.bytes("q7k.payload", "Payload")
f.ack = ProtoField.uint8("q7k.ack", "Acknowledgement", base.HEX,
                         {[ACK] = "ACK", [NAK] = "NAK"})
f.error = ProtoField.int16("q7k.error", "Instrument error", base.DEC,
                           instrument_errors)
f.details = ProtoField.bytes("q7k.details", "Error details")
f.checksum = ProtoField.uint16("q7k.checksum", "Checksum", base.HEX)
f.checksum_ok = ProtoField.bool("q7k.checksum.valid", "Checksum valid")
f.text = ProtoField.string("q7k.text", "Loopback text")
f.partial = ProtoField.uint32("q7k.partial", "Bytes of a frame not yet complete")
-- Payload fields of the main commands.
f.app_name = ProtoField.string("q7k.app.name", "Application name")
f.app_date = ProtoField.string("q7k.app.date", "Date")
f.app_time = ProtoField.string("q7k.app.time", "Time")
f.app_version = ProtoField.string("q7k.app.version", "Version")
f.app_description = ProtoField.string("q7k.app.description", "Description")
f.flash_first = ProtoField.int16("q7k.flash.first", "First entry")
f.flash_entries = ProtoField.int16("q7k.flash.entries", "Entries")
f.flash_more = ProtoField.int16("q7k.flash.more", "More follow")
f.entry = ProtoField.int16("q7k.entry", "Flash entry")
f.slot = ProtoField.int16("q7k.eeprom.slot", "Slot")
f.subslot = ProtoField.int16("q7k.eeprom.subslot", "Subslot")
f.location = ProtoField.int16("q7k.eeprom.location", "Location")
f.word = ProtoField.int16("q7k.eeprom.word", "Word")
f.long = ProtoField.int32("q7k.eeprom.long", "Long")
f.float = ProtoField.float("q7k.eeprom.float", "Float")
f.reg_address = ProtoField.uint32("q7k.reg.address", "Register", base.HEX)
f.reg_value = ProtoField.uint32("q7k.reg.value", "Value", base.HEX)
f.param = ProtoField.int16("q7k.param", "Parameter")
f.param_float = ProtoField.float("q7k.param.float", "Parameter")
f.result = ProtoField.float("q7k.result", "Result")
f.status = ProtoField.int16("q7k.result.status", "Status", base.DEC,
                            {[1] = "ranging", [2] = "voltage settling"})
f.samples = ProtoField.int16("q7k.result.samples", "Samples averaged")
f.address = ProtoField.uint32("q7k.download.address", "Address", base.HEX)
f.count = ProtoField.uint16("q7k.download.bytes", "Bytes")

local direction_field = Field.new("frame.packet_flags_direction")

-- Per direction on the first pass: the frame under way. Per packet: the
-- frames it completes and the partial frame it leaves.
local line_state = {}
local packet_frames = {}
local pending_request = nil

function q7k.init()
  line_state = {[1] = {in_frame = false, dle = false, bytes = {}},
                [2] = {in_frame = false, dle = false, bytes = {}}}
  packet_frames = {}
  pending_request = nil
end

-- Feeds a packet's bytes to its direction's frame; returns the frames it
-- completes as lists of bytes.
local function feed(state, tvb)
  local done = {}
  for i = 0, tvb:len() - 1 do
    local b = tvb(i, 1):uint()
    if not state.in_frame then
      if state.dle and b == STX then
        state.in_frame, state.bytes = true, {}
        state.dle = false
      else
        state.dle = (b == DLE) and not state.dle
      end
    elseif state.dle then
      state.dle = false
      if b == ETX then
        done[#done + 1] = state.bytes
        state.in_frame, state.bytes = false, {}
      elseif b == STX then
        state.bytes = {}  -- a new frame before the end of this one
      else
        state.bytes[#state.bytes + 1] = b  -- a doubled DLE, or noise kept
      end
    elseif b == DLE then
      state.dle = true
    else
      state.bytes[#state.bytes + 1] = b
    end
  end
  return done
end

local function le16(bytes, at)
  return (bytes[at + 1] or 0) + 256 * (bytes[at + 2] or 0)
end

local function to_tvb(bytes)
  local hex = {}
  for i, b in ipairs(bytes) do hex[i] = string.format("%02X", b) end
  return ByteArray.new(table.concat(hex)):tvb("Q7300 frame")
end

local function printable(bytes)
  if #bytes == 0 then return false end
  for _, b in ipairs(bytes) do
    if b < 0x20 or b > 0x7E then return false end
  end
  return true
end

-- A text slot up to its first zero byte; a full slot has none.
local function slot(tvb, at, width)
  local s = tvb(at, width):raw()
  local zero = s:find("\0", 1, true)
  return zero and s:sub(1, zero - 1) or s
end

local function add_app(tree, tvb, at, with_description)
  tree:add(f.app_name, tvb(at, 8), slot(tvb, at, 8))
  tree:add(f.app_date, tvb(at + 8, 8), slot(tvb, at + 8, 8))
  tree:add(f.app_time, tvb(at + 16, 8), slot(tvb, at + 16, 8))
  tree:add(f.app_version, tvb(at + 24, 8), slot(tvb, at + 24, 8))
  if with_description then
    tree:add(f.app_description, tvb(at + 32, 32), slot(tvb, at + 32, 32))
  end
end

local function add_words(tree, field, tvb, at, n)
  for i = 0, n - 1 do tree:add_le(field, tvb(at + 2 * i, 2)) end
end

local function add_floats(tree, field, tvb, at, n)
  for i = 0, n - 1 do tree:add_le(field, tvb(at + 4 * i, 4)) end
end

local function add_board(tree, tvb, at)
  tree:add_le(f.slot, tvb(at, 2))
  tree:add_le(f.subslot, tvb(at + 2, 2))
  tree:add_le(f.location, tvb(at + 4, 2))
end

-- Request payloads at offset 6, n bytes.
local function request_fields(tree, code, tvb, n)
  local p = 6
  if (code == 0x0006 or code == 0x0016) and n >= 4 then
    add_words(tree, f.param, tvb, p, 2)
  elseif code == 0x0003 and n >= 32 then
    add_words(tree, f.param, tvb, p, 8)
    add_floats(tree, f.param_float, tvb, p + 16, 4)
  elseif code == 0x0004 and n >= 22 then
    add_words(tree, f.param, tvb, p, 9)
    tree:add_le(f.param_float, tvb(p + 18, 4))
  elseif code == 0x000B and n >= 6 then
    tree:add_le(f.address, tvb(p, 4))
    tree:add_le(f.count, tvb(p + 4, 2))
  elseif code == 0x000E and n >= 32 then
    add_app(tree, tvb, p, false)
  elseif code == 0x000F and n >= 2 then
    tree:add_le(f.flash_first, tvb(p, 2))
  elseif (code == 0x0010 or code == 0x0011) and n >= 2 then
    tree:add_le(f.entry, tvb(p, 2))
  elseif (code == 0x7E00 or code == 0x7E02 or code == 0x7E03 or
          code == 0x7E19) and n >= 8 then
    tree:add_le(f.reg_address, tvb(p, 4))
    tree:add_le(f.reg_value, tvb(p + 4, 4))
  elseif (code == 0x7E01 or code == 0x7E1A) and n >= 4 then
    tree:add_le(f.reg_address, tvb(p, 4))
  elseif code >= 0x7E04 and code <= 0x7E0B and n >= 6 then
    add_board(tree, tvb, p)
    if code == 0x7E04 and n >= 8 then
      tree:add_le(f.word, tvb(p + 6, 2))
    elseif code == 0x7E05 and n >= 70 then
      add_words(tree, f.word, tvb, p + 6, 32)
    elseif code == 0x7E08 and n >= 10 then
      tree:add_le(f.long, tvb(p + 6, 4))
      tree:add_le(f.float, tvb(p + 6, 4))
    elseif code == 0x7E09 and n >= 70 then
      add_floats(tree, f.float, tvb, p + 6, 16)
    end
  elseif code == 0x7E0C and n >= 4 then
    tree:add_le(f.slot, tvb(p, 2))
    tree:add_le(f.subslot, tvb(p + 2, 2))
  end
end

-- Positive reply data at offset 7, n bytes.
local function reply_fields(tree, code, tvb, n)
  local p = 7
  if code == 0x0001 and n >= 64 then
    add_app(tree, tvb, p, true)
  elseif code == 0x000E and n >= 2 then
    tree:add_le(f.entry, tvb(p, 2))
  elseif code == 0x000F and n >= 4 then
    tree:add_le(f.flash_entries, tvb(p, 2))
    tree:add_le(f.flash_more, tvb(p + 2, 2))
    local count = tvb(p, 2):le_int()
    for k = 0, count - 1 do
      local at = p + 4 + 64 * k
      if at + 64 > p + n then break end
      add_app(tree:add(q7k, tvb(at, 64), "Entry " .. (k + 1)), tvb, at, true)
    end
  elseif (code == 0x0006 or code == 0x0016) and n >= 146 then
    tree:add_le(f.status, tvb(p, 2))
    add_floats(tree, f.result, tvb, p + 10, 17)  -- KVoltMeas .. ParallelRes
    tree:add_le(f.samples, tvb(p + 90, 2))
  elseif code == 0x7E01 and n >= 4 then
    tree:add_le(f.reg_value, tvb(p, 4))
  elseif (code == 0x7E06 or code == 0x7E0C) and n >= 2 then
    tree:add_le(f.word, tvb(p, 2))
  elseif code == 0x7E07 and n >= 64 then
    add_words(tree, f.word, tvb, p, 32)
  elseif code == 0x7E0A and n >= 4 then
    tree:add_le(f.long, tvb(p, 4))
    tree:add_le(f.float, tvb(p, 4))
  elseif code == 0x7E0B and n >= 64 then
    add_floats(tree, f.float, tvb, p, 16)
  end
end

local function checks(bytes)
  local n = #bytes
  local sum = 0
  for i = 1, n - 2 do sum = sum + bytes[i] end
  return n >= 8 and le16(bytes, 4) == n - 8,
         n >= 2 and le16(bytes, n - 2) == sum % 65536, sum
end

-- The loopback test's text, sent as a bare frame; nil for a message.
local function loopback_text(bytes)
  local sound, checksum_ok = checks(bytes)
  if (sound and checksum_ok) or not printable(bytes) then return nil end
  local chars = {}
  for i, b in ipairs(bytes) do chars[i] = string.char(b) end
  return table.concat(chars)
end

-- One whole frame; returns its summary for the Info column. command is
-- the request a reply answers, or the loopback text an echo must repeat.
local function frame_tree(root, bytes, outbound, command)
  local tvb = to_tvb(bytes)
  local n = #bytes
  local tree = root:add(q7k, tvb(), "Q7300 frame")
  tree:add(f.frame, tvb())
  local sound, checksum_ok, sum = checks(bytes)
  if outbound and loopback_text(bytes) then
    tree:add(f.text, tvb(), tvb():string())
    return "-> Loopback", nil
  end
  if not outbound and type(command) == "string" then
    -- Read as the loopback test reads it: text up to its first zero byte.
    local text = tvb():raw()
    text = text:sub(1, (text:find("\0", 1, true) or #text + 1) - 1)
    tree:add(f.text, tvb(), text)
    if text == command then return "<- Loopback", nil end
    tree:add_expert_info(PI_PROTOCOL, PI_ERROR, "Loopback text differs")
    return "<- Loopback [mismatch]", nil
  end
  if n < 8 then
    tree:add_expert_info(PI_MALFORMED, PI_ERROR, "Frame shorter than 8 bytes")
    return (outbound and "-> " or "<- ") .. "short frame", nil
  end
  local number = le16(bytes, 2)
  local code = outbound and number or (65536 - number) % 65536
  tree:add_le(f.lead, tvb(0, 2))
  tree:add_le(f.number, tvb(2, 2))
  tree:add(f.command, tvb(2, 2), code)
  tree:add(f.name, tvb(2, 2), command_name(code))
  tree:add_le(f.length, tvb(4, 2))
  tree:add(f.direction, tvb(2, 2), outbound and "request" or "reply")
  local length = tvb(4, 2):le_int()
  local body = math.max(0, math.min(n - 8, length))
  if body > 0 then tree:add(f.payload, tvb(6, body)) end
  local ck = tree:add_le(f.checksum, tvb(n - 2, 2))
  tree:add(f.checksum_ok, tvb(n - 2, 2), checksum_ok)
  if not checksum_ok then
    ck:add_expert_info(PI_CHECKSUM, PI_ERROR,
                       string.format("Checksum should be 0x%04X", sum % 65536))
  end
  if length ~= n - 8 then
    tree:add_expert_info(PI_MALFORMED, PI_ERROR, "Length field disagrees")
  end
  local info = (outbound and "-> " or "<- ") .. command_name(code)
  if outbound then
    if sound then request_fields(tree, code, tvb, body) end
    return info, code
  end
  if command ~= nil and command ~= code then
    tree:add_expert_info(PI_SEQUENCE, PI_WARN,
                         "Reply to " .. command_name(command) .. " expected")
  end
  if body >= 1 then
    local a = tvb(6, 1):uint()
    tree:add(f.ack, tvb(6, 1))
    if a == NAK and body >= 3 then
      local e = tvb(7, 2):le_int()
      tree:add_le(f.error, tvb(7, 2))
      if body > 3 then tree:add(f.details, tvb(9, body - 3)) end
      info = info .. " NAK " .. e .. " " .. (instrument_errors[e] or "")
    elseif a == ACK then
      info = info .. " ACK"
      if sound and checksum_ok then reply_fields(tree, code, tvb, body - 1) end
    else
      tree:add_expert_info(PI_PROTOCOL, PI_ERROR, "Neither ACK nor NAK")
    end
  end
  if not checksum_ok then info = info .. " [bad checksum]" end
  return info, code
end

function q7k.dissector(tvb, pinfo, root)
  pinfo.cols.protocol = "Q7300"
  local d = direction_field()
  local direction = d and d.value or 0
  if direction ~= 1 and direction ~= 2 then
    direction = (pinfo.p2p_dir == 0) and 2 or 1
  end
  local outbound = direction == 2
  local tree = root:add(q7k, tvb(), "Q7300 line bytes")
  tree:add(f.direction, tvb(), outbound and "host to instrument"
                                  or "instrument to host")
  local kept = packet_frames[pinfo.number]
  if kept == nil and not pinfo.visited then
    local state = line_state[direction]
    kept = {frames = {}, commands = {}}
    for _, bytes in ipairs(feed(state, tvb)) do
      kept.frames[#kept.frames + 1] = bytes
      if outbound then
        pending_request = loopback_text(bytes) or
                          ((#bytes >= 4) and le16(bytes, 2) or nil)
        kept.commands[#kept.frames] = pending_request
      else
        kept.commands[#kept.frames] = pending_request
        pending_request = nil
      end
    end
    kept.partial = state.in_frame and #state.bytes or 0
    packet_frames[pinfo.number] = kept
  end
  if kept == nil then return end
  local infos = {}
  for i, bytes in ipairs(kept.frames) do
    infos[#infos + 1] = frame_tree(tree, bytes, outbound, kept.commands[i])
  end
  if kept.partial > 0 then tree:add(f.partial, tvb(), kept.partial) end
  if #infos == 0 then
    infos[1] = (outbound and "-> " or "<- ") .. "(part of a frame)"
  end
  pinfo.cols.info = table.concat(infos, "; ")
end

-- The port's events --------------------------------------------------------

local kinds = {
  [0] = "start", [1] = "open", [2] = "close", [3] = "purge", [4] = "break",
  [5] = "line error", [6] = "modem lines", [7] = "time-out",
  [8] = "exchange failed",
}

local q7kev = Proto("q7kevent", "Q7300 port event")
local e = q7kev.fields
e.kind = ProtoField.uint8("q7kevent.kind", "Kind", base.DEC, kinds)
e.command = ProtoField.uint16("q7kevent.command", "Command", base.HEX, commands)
e.number = ProtoField.uint32("q7kevent.number", "Number")
e.code = ProtoField.int32("q7kevent.code", "Error code")
e.baud = ProtoField.uint32("q7kevent.baud", "Baud rate")
e.data_bits = ProtoField.uint8("q7kevent.data_bits", "Data bits")
e.parity = ProtoField.string("q7kevent.parity", "Parity")
e.stop_bits = ProtoField.uint8("q7kevent.stop_bits", "Stop bits")
e.lines = ProtoField.uint8("q7kevent.lines", "Line flags", base.HEX)
e.dtr = ProtoField.bool("q7kevent.lines.dtr", "DTR", 8, nil, 0x01)
e.rts = ProtoField.bool("q7kevent.lines.rts", "RTS", 8, nil, 0x02)
e.xon = ProtoField.bool("q7kevent.lines.xonxoff", "XON/XOFF", 8, nil, 0x04)
e.cts = ProtoField.bool("q7kevent.lines.cts", "CTS handshake", 8, nil, 0x08)
e.dsr = ProtoField.bool("q7kevent.lines.dsr", "DSR handshake", 8, nil, 0x10)
e.text = ProtoField.string("q7kevent.text", "Text")

local function masked(v, names)
  local s = {}
  for _, pair in ipairs(names) do
    if bit.band(v, pair[1]) ~= 0 then s[#s + 1] = pair[2] end
  end
  return #s > 0 and table.concat(s, " ") or "none"
end

function q7kev.dissector(tvb, pinfo, root)
  pinfo.cols.protocol = "Q7300 event"
  local tree = root:add(q7kev, tvb())
  if tvb:len() < 20 then
    tree:add_expert_info(PI_MALFORMED, PI_ERROR, "Event shorter than 20 bytes")
    return
  end
  local kind = tvb(0, 1):uint()
  local command = tvb(2, 2):le_uint()
  local number = tvb(4, 4):le_uint()
  local code = tvb(8, 4):le_int()
  tree:add(e.kind, tvb(0, 1))
  if kind == 7 or kind == 8 then tree:add_le(e.command, tvb(2, 2)) end
  tree:add_le(e.number, tvb(4, 4))
  tree:add_le(e.code, tvb(8, 4))
  if kind == 1 then
    tree:add_le(e.baud, tvb(12, 4))
    tree:add(e.data_bits, tvb(16, 1))
    tree:add(e.parity, tvb(17, 1))
    tree:add(e.stop_bits, tvb(18, 1))
    local lines = tree:add(e.lines, tvb(19, 1))
    for _, flag in ipairs({e.dtr, e.rts, e.xon, e.cts, e.dsr}) do
      lines:add(flag, tvb(19, 1))
    end
  end
  local text = ""
  if tvb:len() > 20 then
    text = tvb(20):string(ENC_UTF_8)
    tree:add(e.text, tvb(20), text)
  end
  local info = kinds[kind] or ("event " .. kind)
  -- The loopback test's failures carry command 0, which no method sends.
  local name = command == 0 and "Loopback" or command_name(command)
  if kind == 0 then
    info = info .. " " .. text .. " (format " .. number .. ")"
  elseif kind == 1 then
    info = string.format("%s COM%d %s %d %d%s%d", info, number, text,
                         tvb(12, 4):le_uint(), tvb(16, 1):uint(),
                         tvb(17, 1):string(), tvb(18, 1):uint())
  elseif kind == 3 then
    info = info .. " " .. masked(number, {{1, "receive"}, {2, "transmit"}})
  elseif kind == 4 then
    info = info .. " " .. number .. " ms"
  elseif kind == 5 then
    info = info .. " " .. masked(number, {{1, "parity"}, {2, "framing"},
                                          {4, "overrun"}, {8, "overflow"},
                                          {16, "break"}})
  elseif kind == 6 then
    info = info .. " " .. masked(number, {{1, "CTS"}, {2, "DSR"}, {4, "CD"},
                                          {8, "RI"}})
  elseif kind == 7 then
    info = info .. " " .. name .. " after " .. number .. " ms"
  elseif kind == 8 then
    info = info .. " " .. name .. " code " .. code
  end
  pinfo.cols.info = info
end

local encaps = DissectorTable.get("wtap_encap")
encaps:add(wtap_encaps.USER0, q7k)
encaps:add(wtap_encaps.USER1, q7kev)

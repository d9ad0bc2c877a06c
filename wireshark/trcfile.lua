-- Reads the B3 and B4 capture files of the splicetrc tools into Wireshark and tshark.
--
-- Enable it with `tshark -X lua_script:trcfile.lua -r FILE.cap`, or copy it into
-- ~/.local/lib/wireshark/plugins/. See trcfile.lua(7).
--
-- The reader accepts exactly the files the splicetrc readers open and delivers exactly the
-- records they deliver: up to, not past, the first record that cannot be read. Everything
-- it checks is bounded by the file's size before it is read, so no header value, however
-- large, makes it read outside the file or hold more than one window of the index.

if not FileHandler then
    return -- a Wireshark without file handlers in Lua
end

local SIGNATURE = "#MVCF:"
local PREFIX_SIZE = 13 -- signature, format code, version text
local FIXED_HEADER_SIZE = 18 -- record count and length, flags, data and index offsets
local RECORD_TYPE_TABLE = 31
local SOURCE_NAME_TABLE = 543
local SOURCE_SLOT_SIZE = 128
local HEADER_STRING = 33311
local CAPTURE_TIMES_SIZE = 24
local MAX_OFFSET = 4294967295
local INDEX_ENTRY_SIZE = 4
-- Index entries held at a time, for reading in order and for jumps alike.
local WINDOW_ENTRIES = 4096
-- What pcap and pcapng readers take of a packet, and what trc2pcap cuts longer frames to.
local MAX_CAPTURED = 262144
-- Records whose layer-2 type is looked at when the file is opened: the first ones, then a
-- few spread over the rest, so that opening stays quick however large the file is.
local SAMPLE_FIRST = 1000
local SAMPLE_SPREAD = 64

-- The link types trc2pcap gives layer-2 codes 0, 1 and 2: PPP in HDLC framing, Cisco HDLC,
-- Ethernet.
local ENCAP_OF_LAYER2 = { [0] = wtap_encaps.PPP, [1] = wtap_encaps.CHDLC, [2] = wtap_encaps.ETHERNET }
local LAYER2_NAMES = { CRV_LAYER2_POS_PPP = 0, CRV_LAYER2_POS_CISCO_HDLC = 1, CRV_LAYER2_GBE = 2 }
-- A code without a link type: the first of the link types kept for private use (147), which
-- shows the frame's bytes, can be given a dissector in the DLT_USER preferences, and can be
-- written to pcap and pcapng files, as `trc2pcap -linktype 147` does.
local ENCAP_NO_LINK_TYPE = wtap_encaps.USER0
local DAMAGED_BIT = 0x80

local B3_EXTENSION = { [0] = 0, [1] = 0, [2] = 5, [3] = 8 }
-- B4 record type 4 is the one type with all three single-byte fields the layout reads.
local B4_RECORD_TYPE = 4
local B4_EXTENSION = 8

local byte = string.byte
local floor = math.floor

local function be16(s, i)
    local a, b = byte(s, i, i + 1)
    return a * 256 + b
end

local function be32(s, i)
    local a, b, c, d = byte(s, i, i + 3)
    return ((a * 256 + b) * 256 + c) * 256 + d
end

-- Exactly n bytes at offset, or nil.
local function readAt(file, offset, n)
    if not file:seek("set", offset) then
        return nil
    end
    local s = file:read(n)
    if s == nil or #s ~= n then
        return nil
    end
    return s
end

local function layer2Encap(code)
    return ENCAP_OF_LAYER2[code] or ENCAP_NO_LINK_TYPE
end

-- The version text as "%d.%d" reads it: major and minor, nil without a major number.
local function parseVersion(text)
    local zero = text:find("\0", 1, true)
    if zero then
        text = text:sub(1, zero - 1)
    end
    local major, rest = text:match("^%s*([+-]?%d+)()")
    if not major then
        return nil
    end
    local minor = text:match("^%.%s*([+-]?%d+)", rest)
    return tonumber(major), tonumber(minor) or 0
end

-- The layer-2 type that the name of source 0 gives every record of a version 1.0 B3 file:
-- its fourth blank- or comma-separated field, where a first field "Unknown" stands for the
-- first three.
local function layer2OfSourceName(name, default)
    local field = 0
    local code = default
    for token in name:gmatch("[^ ,]+") do
        if field == 0 and token == "Unknown" then
            field = 3
        end
        if field == 3 then
            code = LAYER2_NAMES[token] or code
            break
        end
        field = field + 1
    end
    return code
end

local function sourceName(slot)
    local length = be16(slot, 1)
    local text = slot:sub(3, 2 + math.min(length, SOURCE_SLOT_SIZE - 2))
    local zero = text:find("\0", 1, true)
    return zero and text:sub(1, zero - 1) or text
end

-- Why a file that starts as one of ours is refused, or nil when it is not refused.
local function checkLayout(f)
    local S, N, L, D, I = f.size, f.count, f.recordLength, f.dataOffset, f.indexOffset
    local E = D + N * L
    local file = " (the file holds " .. S .. " bytes)"
    if D == 0 or D > S then
        return "the offset to the records, " .. D .. ", lies outside the file" .. file
    elseif I > S then
        return "the offset to the index, " .. I .. ", lies past the file's end" .. file
    elseif I ~= 0 and I < E then
        return "the index at " .. I .. " starts inside the records, which run from " .. D
            .. " to " .. string.format("%.0f", E)
    elseif N ~= 0 and E > S then
        return N .. " records of " .. L .. " bytes from " .. D .. " end at "
            .. string.format("%.0f", E) .. ", past the file's end" .. file
    elseif N == 0 and I ~= 0 then
        return "no records, but an index at " .. I
    end
    return nil
end

-- The state of one open file, or nil and why when the file is not one of ours (the reason
-- is nil when it does not even start as one).
local function openState(file)
    if file.compressed then
        return nil
    end
    local size = file:seek("end")
    if not size then
        return nil
    end
    local prefix = readAt(file, 0, math.min(size, PREFIX_SIZE))
    if not prefix or prefix:sub(1, 6) ~= SIGNATURE then
        return nil
    end
    local code = prefix:sub(7, 8)
    if code ~= "B3" and code ~= "B4" then
        return nil
    end
    if #prefix < PREFIX_SIZE then
        return nil, "the file ends inside its version text"
    end
    local major, minor = parseVersion(prefix:sub(9, 13))
    if not major or major <= 0 then
        return nil, "the version text '" .. prefix:sub(9, 13) .. "' has no major number above 0"
    end

    local short = "the header ends at byte " .. size .. ", before its fields, tables and texts are complete"
    if size < HEADER_STRING + 2 then
        return nil, short
    end
    local fixed = readAt(file, PREFIX_SIZE, FIXED_HEADER_SIZE + 2)
    local headerLength = readAt(file, HEADER_STRING, 2)
    if not fixed or not headerLength then
        return nil, short
    end
    local descriptionAt = HEADER_STRING + 2 + be16(headerLength, 1)
    local descriptionLength = descriptionAt + 2 <= size and readAt(file, descriptionAt, 2)
    if not descriptionLength
        or descriptionAt + 2 + be16(descriptionLength, 1) + CAPTURE_TIMES_SIZE > size then
        return nil, short
    end

    local f = {
        b4 = code == "B4",
        v10 = major == 1 and minor == 0,
        size = size,
        count = be32(fixed, 1),
        recordLength = be32(fixed, 5),
        dataOffset = be32(fixed, 11),
        indexOffset = be32(fixed, 15),
        recordType = be16(fixed, 19),
        nextRecord = 1,
        windowFirst = 0,
        windowLast = -1,
        window = {},
    }
    local fault = checkLayout(f)
    if fault then
        return nil, fault
    end
    f.dataEnd = f.indexOffset ~= 0 and f.indexOffset or size

    if f.b4 then
        f.known = f.v10 and f.recordType == B4_RECORD_TYPE
        f.fixedSize = 11
        f.extensionSize = B4_EXTENSION
        f.layer2At = 10
    else
        f.known = B3_EXTENSION[f.recordType] ~= nil
        f.extensionSize = B3_EXTENSION[f.recordType] or 0
        f.fixedSize = f.v10 and 8 or 9
        f.layer2At = not f.v10 and 8 or nil
        if f.v10 then
            local slot = readAt(file, SOURCE_NAME_TABLE, SOURCE_SLOT_SIZE)
            f.layer2 = layer2OfSourceName(slot and sourceName(slot) or "", 0)
        end
    end
    f.skip = f.fixedSize + f.extensionSize
    return f
end

-- The index entry of record k: its offset, or nil when the index does not hold it.
local function indexEntry(f, file, k)
    if k < 1 or k > f.count then
        return nil
    end
    if f.recordLength ~= 0 then
        local start = f.dataOffset + (k - 1) * f.recordLength
        return start <= MAX_OFFSET and start or nil
    end
    if f.indexOffset == 0 then
        return 0 -- no index: no record can lie at offset 0, so the first read stops
    end
    if k >= f.windowFirst and k <= f.windowLast then
        return f.window[k - f.windowFirst + 1]
    end
    -- Windows start at fixed places, so that paging back through the packets reloads one
    -- window per window's worth of them; a window holds only the entries the file holds.
    local first = floor((k - 1) / WINDOW_ENTRIES) * WINDOW_ENTRIES + 1
    local start = f.indexOffset + INDEX_ENTRY_SIZE * (first - 1)
    local count = math.min(f.count - first + 1, WINDOW_ENTRIES,
        floor(math.max(f.size - start, 0) / INDEX_ENTRY_SIZE))
    f.windowFirst, f.windowLast = 0, -1
    if first + count <= k then
        return nil
    end
    f.at = nil -- the file no longer stands where reading in order left it
    local s = readAt(file, start, count * INDEX_ENTRY_SIZE)
    if not s then
        return nil
    end
    local window = f.window
    for i = 1, count do
        local p = i * 4 - 3
        local a, b, c, d = byte(s, p, p + 3)
        window[i] = ((a * 256 + b) * 256 + c) * 256 + d
    end
    f.windowFirst, f.windowLast = first, first + count - 1
    return window[k - first + 1]
end

-- Where record k lies and how long its frame is; or nil and why it cannot be read (nil
-- reason: there is no record k).
local function recordExtent(f, file, k)
    local where = "record " .. k
    if k < 1 or k > f.count then
        return nil
    end
    local offset = indexEntry(f, file, k)
    if not offset then
        return nil, where .. " has no entry in the index, which ends early"
    end
    local span
    if f.recordLength ~= 0 then
        span = f.recordLength
    else
        local following = indexEntry(f, file, k + 1)
        if following then
            span = following - offset
        elseif k < f.count then
            return nil, where .. " ends where the index has no entry for record " .. (k + 1)
        else
            span = f.dataEnd - offset
        end
    end
    if span == 0 then
        return nil, where .. " at offset " .. offset .. " is 0 bytes long by the index"
    end
    if not f.known then
        return nil, "the records' type and version have no layout these readers know"
    end
    if span < 0 then
        return nil, where .. " at offset " .. offset .. " ends at offset " .. (offset + span)
            .. " by the index, before it starts"
    end
    if span > MAX_OFFSET or offset < f.dataOffset or offset + span > f.dataEnd then
        return nil, where .. " at offset " .. offset .. ", " .. span
            .. " bytes long by the index, lies outside the records from offset " .. f.dataOffset
    end
    if span <= f.skip then
        return nil, where .. " at offset " .. offset .. " is " .. span .. " bytes long by the index, "
            .. "too short for its " .. f.skip .. " bytes of fields and a frame byte"
    end
    return offset, span - f.skip
end

-- The encapsulation of the records that will be read, from a sample of them: one for all, or
-- nil when they differ.
local function sampledEncap(f, file)
    if f.layer2 then
        return layer2Encap(f.layer2)
    end
    local head = math.min(f.count, SAMPLE_FIRST)
    local spread = f.count > head and SAMPLE_SPREAD or 0
    local found
    for i = 1, head + spread do
        local k = i <= head and i or head + math.ceil((i - head) * (f.count - head) / spread)
        local offset = recordExtent(f, file, k)
        local s = offset and readAt(file, offset + f.layer2At, 1)
        if not s then
            break -- no record after one that cannot be read is delivered
        end
        local encap = layer2Encap(byte(s))
        found = found or encap
        if encap ~= found then
            return nil
        end
    end
    return found or ENCAP_OF_LAYER2[2]
end

local reader = FileHandler.new("B3/B4 tester capture (splicetrc)", "splicetrc",
    "B3 and B4 capture files of the splicetrc tools", "rm")

function reader.read_open(file, capture)
    local f, refused = openState(file)
    if not f then
        if refused then
            report_failure("trcfile.lua: not read as a B3/B4 capture file: " .. refused)
        end
        return false
    end
    f.encap = sampledEncap(f, file) or wtap_encaps.PER_PACKET
    capture.encap = f.encap
    capture.time_precision = wtap_tsprecs.NSEC
    capture.snapshot_length = 0
    capture.private_table = f
    file:seek("set", f.dataOffset)
    return true
end

-- Record k into frame; false when it cannot be read, with the reason. Read in order, the
-- file usually stands at the record already (f.at), which saves a seek per record.
local function readRecord(f, file, frame, k, inOrder)
    local offset, frameLength = recordExtent(f, file, k)
    if not offset then
        return false, frameLength
    end
    -- The fields and the extension in one read: the extension is carried by no packet.
    local fields
    if inOrder and f.at == offset then
        fields = file:read(f.skip)
        fields = fields and #fields == f.skip and fields
    else
        fields = readAt(file, offset, f.skip)
    end
    if not fields then
        return false, "record " .. k .. " at offset " .. offset .. " could not be read whole"
    end
    local seconds, nanoseconds = be32(fields, 1), be32(fields, 5)
    if nanoseconds >= 1000000000 then
        seconds = seconds + floor(nanoseconds / 1000000000)
        nanoseconds = nanoseconds % 1000000000
    end
    local captured = frameLength < MAX_CAPTURED and frameLength or MAX_CAPTURED
    if not frame:read_data(file, captured) then
        return false, "record " .. k .. " at offset " .. offset .. " could not be read whole"
    end
    frame.time = NSTime(seconds, nanoseconds)
    frame.captured_length = captured
    frame.original_length = frameLength
    frame.flags = wtap_presence_flags.TS + wtap_presence_flags.CAP_LEN
    local layer2 = f.layer2 or byte(fields, f.layer2At + 1)
    local encap = layer2Encap(layer2)
    if encap ~= f.encap then
        frame.encap = encap
    end
    if f.b4 and byte(fields, 9) >= DAMAGED_BIT then
        frame.comment = { "damaged frame" }
    end
    return true, offset + f.skip + captured
end

function reader.read(file, capture, frame)
    local f = capture.private_table
    local k = f.nextRecord
    if k > f.count then
        return false
    end
    local ok, why = readRecord(f, file, frame, k, true)
    f.at = ok and why or nil
    if not ok then
        -- Reading stops at the first record that cannot be read, as in the splicetrc tools.
        f.nextRecord = f.count + 1
        report_failure("trcfile.lua: stopped reading at record " .. k .. " of " .. f.count
            .. ": " .. why .. "; its remaining records were skipped")
        return false
    end
    f.nextRecord = k + 1
    -- The record number stands for the record's place: seek_read gets it back.
    return k
end

function reader.seek_read(file, capture, frame, k)
    return (readRecord(capture.private_table, file, frame, k))
end

function reader.read_close(file, capture)
    capture.private_table = nil
    return true
end

register_filehandler(reader)

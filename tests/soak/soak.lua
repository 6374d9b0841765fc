-- wrk: a mix of protocol requests for the soak run (soak.sh). Each thread
-- cycles through the table below; every answer's status, and the error id of
-- every "200 OK", is counted, and done() prints the counts and fails the run
-- on anything the protocol does not specify.
local path = "/Scripts/vltadmin/vltadmin.dll"

local function change(user, domain, old, new)
  local domainElement = domain and ('<Domain type="NT">' .. domain .. '</Domain>') or ""
  return '<?xml version="1.0" encoding="UTF-8"?>\n<AdminProtocol version="1.0"><RequestChangePassword>' ..
         "<UserName>" .. user .. "</UserName>" .. domainElement .. "<OldPassword>" .. old ..
         "</OldPassword><NewPassword>" .. new .. "</NewPassword></RequestChangePassword></AdminProtocol>"
end

local function utf16le(text)
  return "\255\254" .. text:gsub(".", function(c) return c .. "\0" end)
end

-- The table is built when the script loads, before wrk knows the host, so
-- every request names it itself (HTTP/1.1 requires Host).
local host = "localhost"

local function post(body, contentType)
  return wrk.format("POST", path, {["Host"] = host, ["Content-Type"] = contentType or "text/xml"}, body)
end

-- name, request, share (how many of each in one cycle)
local kinds = {
  {"no domain", post(change("jsmith", nil, "Old-1", "New-1")), 20},
  {"utf-16 unknown user", post(utf16le('<?xml version="1.0"?>' .. change("nobody", "SOAK", "Old-1", "New-1"):sub(39))), 10},
  {"malformed document", post('<?xml version="1.0"?><AdminProtocol><RequestChangePassword><UserName>x'), 10},
  {"not the protocol", post('<?xml version="1.0"?><Other/>'), 5},
  {"wrong content type", post(change("x", nil, "a", "b"), "text/plain"), 5},
  {"GET", wrk.format("GET", path, {["Host"] = host}), 3},
  {"empty body", wrk.format("POST", path, {["Host"] = host, ["Content-Type"] = "text/xml"}, ""), 3},
  {"too large", post(string.rep("x", 16721)), 1},
  {"wrong old password (throttled)", post(change("bob", "SOAK", "Wrong-1", "New-1")), 2},
  {"real change", post(change("alice", "SOAK", "Soak-Pass-1", "Soak-Pass-1")), 1},
}

-- Unknown users under several names, so that parallel attempts of one name
-- rarely meet the guessing limits' count of attempts under way.
for n = 1, 20 do
  kinds[#kinds + 1] = {"unknown user", post(change("nobody" .. n, "SOAK", "Old-1", "New-1")), 2}
end

local cycle = {}
for _, kind in ipairs(kinds) do
  for _ = 1, kind[3] do cycle[#cycle + 1] = kind[2] end
end
-- Spread the kinds through the cycle (a fixed shuffle).
local seed = 7
for i = #cycle, 2, -1 do
  seed = (seed * 1103515245 + 12345) % 2147483648
  local j = seed % i + 1
  cycle[i], cycle[j] = cycle[j], cycle[i]
end

local threads = {}
function setup(thread)
  thread:set("id", #threads)
  threads[#threads + 1] = thread
end

function init(args)
  counts = {}
  position = id * 97
end

function request()
  position = position % #cycle + 1
  return cycle[position]
end

local allowed = {[200] = true, [405] = true, [406] = true, [411] = true, [413] = true, [503] = true}
local ids = {[""] = true, ["operation-failed"] = true, ["bad-request"] = true,
             ["old-password-invalid"] = true, ["new-password-invalid"] = true}

function response(status, headers, body)
  local key = tostring(status)
  if status == 200 then
    -- UTF-16 answers: their ASCII letters are the bytes that are not zero.
    if body:byte(2) == 0 then body = body:gsub("%z", "") end
    local id = body:match("<ErrorId>([^<]*)</ErrorId>") or ""
    key = key .. " " .. (id == "" and "success" or id)
    if not ids[id] then key = "unexpected " .. key end
  elseif not allowed[status] then
    key = "unexpected " .. key
  end
  counts[key] = (counts[key] or 0) + 1
end

function done(summary, latency, requests)
  local total, bad = {}, 0
  for _, thread in ipairs(threads) do
    for key, n in pairs(thread:get("counts")) do total[key] = (total[key] or 0) + n end
  end
  local answered = 0
  for key, n in pairs(total) do
    io.write(string.format("answers %-32s %d\n", key, n))
    answered = answered + n
    if key:find("^unexpected") then bad = bad + n end
  end
  local e = summary.errors
  io.write(string.format("requests %d answered %d unexpected %d errors connect %d read %d write %d timeout %d status %d\n",
                         summary.requests, answered, bad, e.connect, e.read, e.write, e.timeout, e.status))
end

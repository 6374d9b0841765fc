-- wrk: POST a 600-byte text/xml body on every request.
wrk.method = "POST"
wrk.headers["Content-Type"] = "text/xml"
local head = '<?xml version="1.0" encoding="utf-8"?><AdminProtocol><RequestGroup><Group Name="'
local tail = '"/></RequestGroup></AdminProtocol>'
wrk.body = head .. string.rep("g", 600 - #head - #tail) .. tail
